// zqhost codecs: the codec names the commands take, with what the stack
// sends each as by default.
#include <cstdio>

#include "codecs.h"
#include "command.h"

namespace {

std::string Joined(const std::vector<std::string>& names)
{
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined;
}

int RunCodecs(Arguments& arguments)
{
    arguments.ExpectNoMore();
    std::printf("%-16s %-16s %-5s %-10s %s\n", "codec", "aliases", "PT", "clock Hz", "kind");
    for (const Codec& codec : AllCodecs()) {
        const std::string payloadType =
            codec.defaultPayloadType < 0 ? "-" : std::to_string(codec.defaultPayloadType);
        std::printf("%-16s %-16s %-5s %-10u %s\n", codec.key, Joined(AliasesOf(codec)).c_str(), payloadType.c_str(),
                    codec.clockRateHz, MainTypeName(codec.mainType));
    }
    std::printf("\nNames are taken in any case. PT is the payload type the stack sends a codec as\n"
                "and expects it under by default (-: none; zqhost send takes one with --pt).\n");
    return 0;
}

}  // namespace

extern const Command kCodecsCommand = {
    "codecs",
    "list the codec names, their payload types and clock rates",
    "usage: zqhost codecs\n\n"
    "Lists every codec the RTP stack can carry: its settings key, which --codec\n"
    "takes, its other names (PCMA, PCMU, telephone-event), the payload type\n"
    "the stack gives it by default, its RTP clock rate and its kind.\n",
    &RunCodecs,
};
