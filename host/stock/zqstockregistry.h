#pragma once
// The stock modules as module kinds of the host, so that graph files can
// hold them: "stock source" (its ZQStockSourceConfig) and "capture sink" (its
// output file and keep limit, as a ZQFileCaptureSink).
//
// Their settings are one settings node under the module's node,
//   <settings name="ZQStockSource"> or <settings name="ZQCaptureSink">,
// holding one <setting name=".." type=".." value=".."/> per field.
#include <string>

#include "zqfid.h"
#include "zqstocksource.h"

class CXMLNode;
class ZQFModuleRegistry;

const ZQFID& ZQStockSourceIdentity();
const ZQFID& ZQCaptureSinkIdentity();

// Adds both kinds. False with `error` set when an identity is taken.
bool ZQRegisterStockModules(ZQFModuleRegistry& registry, std::string* error);

// The source's settings under its module node, and back. Reading starts
// from the defaults; a module node without a settings node gives them. False
// with `error` naming the setting when a value is unusable.
void ZQSaveStockSourceConfig(const ZQStockSourceConfig& config, CXMLNode* moduleNode);
bool ZQLoadStockSourceConfig(CXMLNode* moduleNode, ZQStockSourceConfig* config, std::string* error);
