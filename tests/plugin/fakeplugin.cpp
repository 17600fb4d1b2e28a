// A plug-in that misbehaves on purpose, for the loader's failure paths: its
// factories throw, answer null or are missing, and it gives no version.
#include <stdexcept>

#include "zqfplugin.h"

namespace {

ZQIModule* FailingConstructor() { throw std::runtime_error("constructor failed: no socket"); }
ZQIModule* ThrowingSomethingOdd() { throw 42; }
ZQIModule* CreatingNothing() { return nullptr; }

const ZQFID kIds[4] = {
    {0x11111111, 0x1111, 0x1111, {1, 1, 1, 1, 1, 1, 1, 1}},
    {0x22222222, 0x2222, 0x2222, {2, 2, 2, 2, 2, 2, 2, 2}},
    {0x33333333, 0x3333, 0x3333, {3, 3, 3, 3, 3, 3, 3, 3}},
    {0x44444444, 0x4444, 0x4444, {4, 4, 4, 4, 4, 4, 4, 4}},
};

const ModuleDescriptor kDescriptors[4] = {
    {u"Test", u"throws", 1, &kIds[0], &FailingConstructor},
    {u"Test", u"throws an int", 1, &kIds[1], &ThrowingSomethingOdd},
    {u"Test", u"creates nothing", 2, &kIds[2], &CreatingNothing},
    {u"Test", u"no factory \U0001F600", 3, &kIds[3], nullptr},
};

}  // namespace

extern "C" {
__attribute__((visibility("default"))) int GetModuleCount() { return 4; }
__attribute__((visibility("default"))) const ModuleDescriptor* GetModuleDescriptor() { return kDescriptors; }
__attribute__((visibility("default"))) int GetModuleVersion(ModuleVersionInfo*) { return 0; }
}
