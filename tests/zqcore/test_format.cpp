// zq_sprintf / zq_vsprintf: bounded by the size given, always terminated.
#include <gtest/gtest.h>

#include <cstring>

#include "zqcformat.h"

namespace {

constexpr char kGuard = '#';

// A buffer with guard bytes behind the part the call may use.
struct GuardedBuffer {
    explicit GuardedBuffer(int usable) : size(usable) { std::memset(bytes, kGuard, sizeof bytes); }
    bool GuardsIntact() const
    {
        for (size_t i = static_cast<size_t>(size); i < sizeof bytes; ++i) {
            if (bytes[i] != kGuard) {
                return false;
            }
        }
        return true;
    }
    char bytes[64];
    int size;
};

TEST(ZqSprintf, FormatsWhatFits)
{
    GuardedBuffer b(32);
    EXPECT_EQ(zq_sprintf(b.bytes, b.size, "%s-%u", "10.0.0.1", 42u), 11);
    EXPECT_STREQ(b.bytes, "10.0.0.1-42");
    EXPECT_TRUE(b.GuardsIntact());
}

TEST(ZqSprintf, CutsTextThatDoesNotFitAndTerminatesIt)
{
    GuardedBuffer b(8);
    EXPECT_EQ(zq_sprintf(b.bytes, b.size, "%s", "abcdefghijkl"), 7);
    EXPECT_STREQ(b.bytes, "abcdefg");
    EXPECT_TRUE(b.GuardsIntact());
}

TEST(ZqSprintf, ExactFitKeepsEveryCharacter)
{
    GuardedBuffer b(4);
    EXPECT_EQ(zq_sprintf(b.bytes, b.size, "%d", 123), 3);
    EXPECT_STREQ(b.bytes, "123");
    EXPECT_TRUE(b.GuardsIntact());

    GuardedBuffer shorter(3);
    EXPECT_EQ(zq_sprintf(shorter.bytes, shorter.size, "%d", 123), 2);
    EXPECT_STREQ(shorter.bytes, "12");
    EXPECT_TRUE(shorter.GuardsIntact());
}

TEST(ZqSprintf, SizeOneHoldsOnlyTheTerminator)
{
    GuardedBuffer b(1);
    EXPECT_EQ(zq_sprintf(b.bytes, b.size, "%s", "anything"), 0);
    EXPECT_EQ(b.bytes[0], '\0');
    EXPECT_TRUE(b.GuardsIntact());
}

TEST(ZqSprintf, NothingIsWrittenWithoutRoom)
{
    GuardedBuffer b(0);
    EXPECT_EQ(zq_sprintf(b.bytes, 0, "%s", "x"), 0);
    EXPECT_EQ(zq_sprintf(b.bytes, -5, "%s", "x"), 0);
    EXPECT_TRUE(b.GuardsIntact());
    EXPECT_EQ(zq_sprintf(nullptr, 16, "%s", "x"), 0);
}

}  // namespace
