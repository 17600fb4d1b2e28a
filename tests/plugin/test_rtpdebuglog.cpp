// RTPDebugLog, linked from the plug-in's objects (not loaded as a library).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "stdafx.h"

namespace {

TEST(RTPDebugLogTest, ReachesDebugLogWithPrefixFromStdafxLine40AtLevel0)
{
    std::vector<std::tuple<std::string, int, int, std::string>> lines;
    zqf::SetDebugLogSink([&](const char* path, int line, int level, const char* text) {
        lines.emplace_back(path, line, level, text);
    });
    const std::string prefix = "** RTP_DEBUG ** ";
    RTPDebugLog(">> socket %d on port %s", 3, "5004");
    RTPDebugLog("%s", "loss 100%d %s");  // formatted once only
    RTPDebugLog("%s", std::string(3000, 'm').c_str());
    zqf::SetDebugLogSink(nullptr);

    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::make_tuple(std::string("stdafx"), 40, 0, prefix + ">> socket 3 on port 5004"));
    EXPECT_EQ(std::get<3>(lines[1]), prefix + "loss 100%d %s");
    EXPECT_EQ(std::get<3>(lines[2]), prefix + std::string(2047 - prefix.size(), 'm')) << "cut to the buffer";
}

}  // namespace
