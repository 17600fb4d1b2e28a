#pragma once
// Control ids of the two dialog resources of the stack modules' pages.
namespace zqm {

// Dialog 109, "RTP stack settings". The media-type check boxes have their
// ids in the media-type check-box table (mediatypecheckboxes.h).
namespace settingsdialog {
constexpr int kResourceId = 109;
constexpr int kLocalIPAddress = 1008;
constexpr int kLocalRTPPort = 1010;
constexpr int kLocalRTCPPort = 1012;
constexpr int kRemoteIPAddress = 1014;
constexpr int kRemoteRTPPort = 1016;
constexpr int kRemoteRTCPPort = 1018;
constexpr int kDisableAutoSeqNum = 1003;
constexpr int kFEC = 1053;
// Read-only: the SRTP suite (or "off") and whether keys are set, never the keys.
constexpr int kSRTPSuite = 1060;
constexpr int kSRTPKeys = 1061;
}  // namespace settingsdialog

// Dialog 106, "RTP stack statistics".
namespace statisticsdialog {
constexpr int kResourceId = 106;
constexpr int kSources = 1003;
constexpr int kPacketCount = 1009;
constexpr int kOctetCount = 1011;
constexpr int kFractionLost = 1013;
constexpr int kCumulativeLost = 1015;
constexpr int kJitter = 1017;
constexpr int kSimulatePacketLoss = 1042;
constexpr int kPacketLossPercent = 1010;
constexpr int kGenerateJitter = 1043;
constexpr int kMaxJitter = 1012;
}  // namespace statisticsdialog

// The library's file name, under which its dialog resources are found.
constexpr const char* kResourceModuleName = "zqmrtpstack.dll";

}  // namespace zqm
