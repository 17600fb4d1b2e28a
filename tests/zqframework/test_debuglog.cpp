// DebugLog as the modules use it: the level checked before formatting, time
// and thread on every line, and a drain at exit. Delivery on the writer and
// drops: the stalled-sink fault test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework_fixtures.h"
#include "zqfdebuglog.h"
#include "zqflogrecord.h"

namespace {

using fwtest::FunctionThread;

struct CapturedLine {
    std::string text;
    int64_t timeMs;
    std::string threadName;
};

// Installs a line sink for the test (at `minLevel`) and puts the default
// sink and level back afterwards.
class DebugLogTest : public ::testing::Test {
protected:
    void Install(int minLevel = ZQF_LOG_INFO)
    {
        zqf::SetDebugLogLineSink(
            [this](const zqf::DebugLogLine& line) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines.push_back({line.text, line.timeMs, line.threadName});
            },
            minLevel);
    }
    void TearDown() override
    {
        zqf::SetDebugLogSink({});
        zqf::SetDebugLogLevel(ZQF_LOG_ERROR);
    }
    std::vector<CapturedLine> Lines()
    {
        zqf::FlushDebugLog();
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<CapturedLine> m_lines;
};

uint64_t Formatted() { return zqf::GetDebugLogCounts().formatted; }

struct LevelCase {
    const char* name;
    bool customSink;
    int sinkLevel;  // the custom sink's, or the default sink's threshold
    int lineLevel;
    bool formatted;
};

TEST_F(DebugLogTest, LinesBelowTheSinkLevelAreNeverFormatted)
{
    const LevelCase cases[] = {
        {"custom sink, line below", true, ZQF_LOG_WARNING, ZQF_LOG_INFO, false},
        {"custom sink, line at", true, ZQF_LOG_WARNING, ZQF_LOG_WARNING, true},
        {"custom sink, line above", true, ZQF_LOG_WARNING, ZQF_LOG_ERROR, true},
        {"default sink, line below", false, ZQF_LOG_ERROR, ZQF_LOG_WARNING, false},
        {"default sink, level none", false, ZQF_LOG_ERROR + 1, ZQF_LOG_ERROR, false},
    };
    for (const LevelCase& c : cases) {
        if (c.customSink) {
            Install(c.sinkLevel);
        } else {
            zqf::SetDebugLogSink({});
            zqf::SetDebugLogLevel(c.sinkLevel);
        }
        const uint64_t before = Formatted();
        DebugLog("test\\level", __LINE__, c.lineLevel, "%s", c.name);
        EXPECT_EQ(Formatted() - before, c.formatted ? 1u : 0u) << c.name;
    }
    std::vector<std::string> texts;
    for (const CapturedLine& line : Lines()) {
        texts.push_back(line.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"custom sink, line at", "custom sink, line above"}));
}

TEST_F(DebugLogTest, LinesCarryTheirTimeAndThread)
{
    Install();
    const int64_t before = ZQFLogClockMs();
    DebugLog("test\\thread", __LINE__, ZQF_LOG_ERROR, "from main");
    FunctionThread media(
        [](FunctionThread&) {
            DebugLog("test\\thread", __LINE__, ZQF_LOG_ERROR, "from a framework thread");
            return 0;
        },
        "rtp-in-receiver");
    ASSERT_TRUE(media.StartThread(nullptr));
    ASSERT_TRUE(media.StopThread(10000, 0));
    const int64_t after = ZQFLogClockMs();

    const std::vector<CapturedLine> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].threadName, "main");
    EXPECT_EQ(lines[1].threadName, "rtp-in-receiver");
    for (const CapturedLine& line : lines) {
        EXPECT_GE(line.timeMs, before);
        EXPECT_LE(line.timeMs, after);
    }
}

// A slow sink still gets every line when the program ends right after
// logging them.
TEST(DebugLogExit, ExitDeliversWhatIsQueued)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            zqf::SetDebugLogSink([](const char*, int, int, const char* text) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                std::fprintf(stderr, "<%s>\n", text);
            });
            for (int n = 1; n <= 5; ++n) {
                DebugLog("test\\exit", __LINE__, ZQF_LOG_ERROR, "line %d", n);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "<line 1>\n<line 2>\n<line 3>\n<line 4>\n<line 5>\n");
}

}  // namespace
