// The dynamic symbol table: the three entry points and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

// Runs a command and answers its standard output; fails the test when it does not run.
std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return output;
}

TEST(Exports, ExactlyTheThreeEntryPointsAreDefined)
{
    const std::string listing = RunCommand(std::string("nm -D --defined-only '") + ZQ_PLUGIN_PATH + "'");
    std::set<std::string> functions;
    std::set<std::string> others;
    std::istringstream lines(listing);
    std::string address, type, name;
    while (lines >> address >> type >> name) {
        (type == "T" ? functions : others).insert(name);
    }
    EXPECT_EQ(functions, (std::set<std::string>{"GetModuleCount", "GetModuleDescriptor", "GetModuleVersion"}))
        << listing;
    EXPECT_TRUE(others.empty()) << listing;
}

}  // namespace
