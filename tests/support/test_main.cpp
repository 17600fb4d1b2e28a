// The main of every test binary. A test that leaves the process with more
// sample reference faults than it began with (an AddRef or Recycle on a
// sample with no reference, a sample returned twice to its pool) fails,
// whatever it asserted itself: the framework only logs them, and a missing
// reference anywhere on a path is exactly what a test of that path must see.
#include <gtest/gtest.h>

#include <cstdint>

#include "sample_references.h"
#include "zqfmediasample.h"

namespace {

uint64_t g_allowed = 0;

class ReferenceFaultListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        g_allowed = 0;
        m_before = zqf::GetSampleReferenceFaults();
    }

    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        const uint64_t faults = zqf::GetSampleReferenceFaults() - m_before;
        if (faults != g_allowed) {
            std::fprintf(stderr, "%s.%s: %llu sample reference fault(s), %llu expected\n", test.test_suite_name(),
                         test.name(), static_cast<unsigned long long>(faults),
                         static_cast<unsigned long long>(g_allowed));
            m_failed = true;
        }
    }

    bool Failed() const { return m_failed; }

private:
    uint64_t m_before = 0;
    bool m_failed = false;
};

}  // namespace

void testsupport::ExpectSampleReferenceFaults(uint64_t count) { g_allowed = count; }

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    auto* listener = new ReferenceFaultListener;
    ::testing::UnitTest::GetInstance()->listeners().Append(listener);  // owned by gtest
    const int result = RUN_ALL_TESTS();
    return result != 0 || listener->Failed() ? 1 : 0;
}
