// zqtest_freeports ADDRESS...: prints an even port P such that P and P + 1
// are free on every address, for the scripted tests that run zqhost.
#include <cstdio>
#include <string>
#include <vector>

#include "freeports.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> addresses(argv + 1, argv + argc);
    const uint16_t port = FindFreePortPair(addresses.empty() ? std::vector<std::string>{"127.0.0.1"} : addresses);
    if (port == 0) {
        std::fprintf(stderr, "zqtest_freeports: no free port pair\n");
        return 1;
    }
    std::printf("%u\n", port);
    return 0;
}
