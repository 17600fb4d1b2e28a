#include "stackidentities.h"

#include "zqfmodule.h"

namespace {

template <class Interface>
Interface* InterfaceOf(ZQIModule* module, const ZQFID& id)
{
    void* found = nullptr;
    if (module == nullptr || !module->QueryInterface(id, &found)) {
        return nullptr;
    }
    return static_cast<Interface*>(found);
}

}  // namespace

ZQIRTPStack* RTPStackOf(ZQIModule* module) { return InterfaceOf<ZQIRTPStack>(module, kRTPStackInterfaceId); }

ZQIRTPStackStatistics* RTPStackStatisticsOf(ZQIModule* module)
{
    return InterfaceOf<ZQIRTPStackStatistics>(module, kRTPStackStatisticsInterfaceId);
}
