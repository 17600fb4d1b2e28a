#pragma once
// Identities of the three modules this library offers. The host finds them
// in the descriptors; the stack module's constructor tells "RTP in" from
// "RTP out" by comparing with ZQMID_RTPIn.
#include "zqfid.h"

extern const ZQFID ZQMID_RTPIn;          // 6f47cebe-ee66-46c5-ac3d-3f9ff18c2c9b
extern const ZQFID ZQMID_RTPOut;         // 64140b77-fb89-4170-bde2-cafc58bf7527
extern const ZQFID ZQMID_RTPDispatcher;  // e6097550-c441-4044-b9c8-e32949c1df10
