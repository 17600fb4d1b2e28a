// RTPDebugLog, linked from the plug-in's objects (not loaded as a library).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stdafx.h"

namespace {

constexpr const char* kPrefix = "** RTP_DEBUG ** ";

struct LogLine {
    std::string path;
    int line;
    int level;
    std::string text;
};

class RTPDebugLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        zqf::SetDebugLogSink([this](const char* path, int line, int level, const char* text) {
            lines.push_back({path, line, level, text});
        });
    }
    void TearDown() override { zqf::SetDebugLogSink(nullptr); }

    std::vector<LogLine> lines;
};

TEST_F(RTPDebugLogTest, ReachesDebugLogWithPrefixFromStdafxLine40AtLevel0)
{
    RTPDebugLog(">> socket %d on port %s", 3, "5004");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].path, "stdafx");
    EXPECT_EQ(lines[0].line, 40);
    EXPECT_EQ(lines[0].level, 0);
    EXPECT_EQ(lines[0].text, std::string(kPrefix) + ">> socket 3 on port 5004");
}

TEST_F(RTPDebugLogTest, FormattedTextIsNotFormattedTwice)
{
    RTPDebugLog("%s", "loss 100%d %s");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, std::string(kPrefix) + "loss 100%d %s");
}

TEST_F(RTPDebugLogTest, LongMessageIsCutToTheBuffer)
{
    const std::string message(3000, 'm');
    RTPDebugLog("%s", message.c_str());
    ASSERT_EQ(lines.size(), 1u);
    const std::string& text = lines[0].text;
    ASSERT_EQ(text.size(), 2047u);
    EXPECT_EQ(text.substr(0, 16), kPrefix);
    EXPECT_EQ(text.find_first_not_of('m', 16), std::string::npos);
}

}  // namespace
