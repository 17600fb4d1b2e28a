#pragma once
// Core services of the host: sockets, locks, clocks, formatting.
#include "zqccharconv.h"
#include "zqcclock.h"
#include "zqccriticalsection.h"
#include "zqcexception.h"
#include "zqcformat.h"
#include "zqclockmng.h"
#include "zqcmutex.h"
#include "zqcsocket.h"
#include "zqcsocketaddress.h"
#include "zqcthread.h"
#include "zqcwakeevent.h"
