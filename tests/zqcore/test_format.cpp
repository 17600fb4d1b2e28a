// zq_sprintf: bounded by the size given, always terminated.
#include <gtest/gtest.h>

#include <cstring>

#include "zqcformat.h"

namespace {

TEST(ZqSprintf, CutsTextThatDoesNotFitAndTerminatesIt)
{
    struct Case {
        int size;
        const char* text;
        int written;
        const char* expected;
    };
    const Case cases[] = {{32, "10.0.0.1-42", 11, "10.0.0.1-42"}, {8, "abcdefghijkl", 7, "abcdefg"},
                          {4, "123", 3, "123"},  {3, "123", 2, "12"},  {1, "anything", 0, ""},
                          {0, "x", 0, nullptr},  {-5, "x", 0, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char bytes[64];
        std::memset(bytes, '#', sizeof bytes);
        EXPECT_EQ(zq_sprintf(bytes, c.size, "%s", c.text), c.written);
        if (c.expected != nullptr) {
            EXPECT_STREQ(bytes, c.expected);
        }
        for (size_t i = c.expected ? std::strlen(c.expected) + 1 : 0; i < sizeof bytes; ++i) {
            ASSERT_EQ(bytes[i], '#') << "byte " << i << " written";
        }
    }
    EXPECT_EQ(zq_sprintf(nullptr, 16, "%s", "x"), 0);
    char formatted[16];
    EXPECT_EQ(zq_sprintf(formatted, sizeof formatted, "%s-%u", "a", 42u), 4);
    EXPECT_STREQ(formatted, "a-42");
}

}  // namespace
