#pragma once
// The plug-in's identities as the host knows them: its module kinds and the
// control interfaces of its stack modules. The interfaces' declarations come
// from the plug-in's headers; their identity objects live inside the plug-in
// and are not exported, so the host keeps its own copies.
#include "zqfid.h"
#include "zqirtpstack.h"
#include "zqirtpstackstatistics.h"

// 6f47cebe-ee66-46c5-ac3d-3f9ff18c2c9b
inline constexpr ZQFID kRTPInModuleId{0x6f47cebe, 0xee66, 0x46c5, {0xac, 0x3d, 0x3f, 0x9f, 0xf1, 0x8c, 0x2c, 0x9b}};
// 64140b77-fb89-4170-bde2-cafc58bf7527
inline constexpr ZQFID kRTPOutModuleId{0x64140b77, 0xfb89, 0x4170, {0xbd, 0xe2, 0xca, 0xfc, 0x58, 0xbf, 0x75, 0x27}};
// e6097550-c441-4044-b9c8-e32949c1df10
inline constexpr ZQFID kDispatcherModuleId{
    0xe6097550, 0xc441, 0x4044, {0xb9, 0xc8, 0xe3, 0x29, 0x49, 0xc1, 0xdf, 0x10}};
// 4892c26c-58a0-441a-9388-3cbdb0c6df8e
inline constexpr ZQFID kRTPStackInterfaceId{
    0x4892c26c, 0x58a0, 0x441a, {0x93, 0x88, 0x3c, 0xbd, 0xb0, 0xc6, 0xdf, 0x8e}};
// cf2840ac-7f32-4cec-a83d-98659887833e
inline constexpr ZQFID kRTPStackStatisticsInterfaceId{
    0xcf2840ac, 0x7f32, 0x4cec, {0xa8, 0x3d, 0x98, 0x65, 0x98, 0x87, 0x83, 0x3e}};

class ZQIModule;

// The module's interfaces; null when it has none (not a stack module).
ZQIRTPStack* RTPStackOf(ZQIModule* module);
ZQIRTPStackStatistics* RTPStackStatisticsOf(ZQIModule* module);
