#pragma once
// zqhost relay's options, read into the relay's configuration.
#include <optional>

#include "relayloop.h"

class Arguments;

struct RelayRequest {
    RelayConfig config;
    std::optional<double> seconds;  // none: until a signal
};

// Throws CommandError for a missing or bad option.
RelayRequest TakeRelayRequest(Arguments& arguments);
