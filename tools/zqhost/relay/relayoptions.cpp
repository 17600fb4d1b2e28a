#include "relayoptions.h"

#include <limits>

#include "arguments.h"
#include "graphbuilder.h"
#include "valueoptions.h"

namespace {

constexpr long kMaxDelayMs = 10000;
constexpr long kMaxSeed = std::numeric_limits<long>::max() / 2;
// Any fixed number will do: runs without --seed are alike.
constexpr uint64_t kDefaultSeed = 3550;

// A share from 0 to 100, decimals allowed.
double TakePercent(Arguments& arguments, const std::string& option)
{
    const auto text = arguments.TakeValue(option);
    if (!text) {
        return 0.0;
    }
    try {
        // The reader's lower bound is exclusive: 0 itself must pass.
        const double percent = ParseNumberAbove(option, *text, -1.0, 100.0);
        if (percent >= 0.0) {
            return percent;
        }
    } catch (const CommandError&) {
    }
    throw CommandError("option " + option + ": '" + *text + "' is not a percentage from 0 to 100");
}

int64_t TakeMilliseconds(Arguments& arguments, const std::string& option)
{
    return TakeWholeNumber(arguments, option, 0, kMaxDelayMs).value_or(0) * 1000;
}

Endpoint TakeEndpoint(Arguments& arguments, const std::string& option, const std::string& what)
{
    const auto text = arguments.TakeValue(option);
    if (!text) {
        throw CommandError("say " + what + ": " + option + " HOST:PORT");
    }
    Endpoint endpoint = ParseEndpoint(option, *text);
    endpoint.host = ResolveAddress(option, endpoint.host);
    return endpoint;
}

void RequireRoomForRtcp(const std::string& option, uint16_t port)
{
    if (port == 65535) {
        throw CommandError("option " + option + ": port 65535 leaves no port for RTCP (--rtcp)");
    }
}

}  // namespace

RelayRequest TakeRelayRequest(Arguments& arguments)
{
    RelayRequest request;
    RelayConfig& config = request.config;
    const Endpoint listen = TakeEndpoint(arguments, "--listen", "where the sender's RTP arrives");
    const Endpoint to = TakeEndpoint(arguments, "--to", "where to forward it");
    config.listenAddress = listen.host;
    config.listenPort = listen.port;
    config.toAddress = to.host;
    config.toPort = to.port;
    config.rtcp = arguments.TakeFlag("--rtcp");
    Impairments& impairments = config.impairments;
    impairments.lossPercent = TakePercent(arguments, "--loss");
    impairments.reorderPercent = TakePercent(arguments, "--reorder");
    impairments.duplicatePercent = TakePercent(arguments, "--duplicate");
    impairments.delayUs = TakeMilliseconds(arguments, "--delay");
    impairments.jitterUs = TakeMilliseconds(arguments, "--jitter");
    impairments.seed = static_cast<uint64_t>(TakeWholeNumber(arguments, "--seed", 0, kMaxSeed).value_or(kDefaultSeed));
    if (const auto log = arguments.TakeValue("--log")) {
        CheckWritableFile("--log", *log);
        config.logPath = *log;
    }
    if (const auto seconds = arguments.TakeValue("--seconds")) {
        request.seconds = ParseSeconds(*seconds);
    }
    arguments.ExpectNoMore();
    // The reverse path sends the receiver's RTCP to the RTP port + 1; the
    // forward one sends to the receiver's.
    RequireRoomForRtcp("--to", config.toPort);
    if (config.rtcp) {
        RequireRoomForRtcp("--listen", config.listenPort);
    }
    return request;
}
