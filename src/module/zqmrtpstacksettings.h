#pragma once
// A stack module's settings as XML nodes: one settings node named
// "ZQMRTPStackProPage" with the ZQIRTPStack identity as "IID", holding 52
// setting nodes ("name", "type", "value"), three more for SRTP
// ("SRTPSuite", "SRTPSendKey", "SRTPReceiveKey") when it is on, and then
// "RTCPMux" (BOOL 1) when RTCP is multiplexed on the RTP port. Both
// directions go through the module's ZQIRTPStack, so a stack running
// meanwhile sees them one by one.
class CXMLNode;
class ZQIRTPStack;

// Writes the settings node under `parent`. Always true.
bool SaveStackSettings(ZQIRTPStack* stack, CXMLNode* parent);

// Finds the settings node among the children of `moduleNode` and applies it.
// False for a null node, when a child before the settings node has no "IID",
// or when the stack refuses the SRTP or RTCPMux settings (a line names the
// key); true otherwise, also when there is no settings node at all.
bool LoadStackSettings(ZQIRTPStack* stack, CXMLNode* moduleNode);
