// Who owns the reference a Deliver hands over: after any run the pool is full.
#include <gtest/gtest.h>

#include "framework_fixtures.h"
#include "zqfmediasample.h"

namespace {

using fwtest::TestModule;

// A relay forwards with a reference of its own and gives it back when the
// forward fails, so neither outcome loses a sample. A refusal at the end of
// the chain leaves the caller's reference with the caller: had Deliver
// dropped one, the relay's give-back would return the sample to its pool
// while the caller still holds it.
TEST(Deliver, RefusedOrUndeliverableSampleStaysWithTheCallerAndNoOutcomeLosesOne)
{
    TestModule source("source", 0, 1);
    TestModule relay("relay", 1, 1);
    TestModule sink("sink", 1, 0);
    relay.onSample = [&](ZQFMediaSample* s) {
        s->AddRef();
        const bool forwarded = relay.Out(0)->Deliver(s);
        if (!forwarded) {
            s->Recycle();
        }
        return forwarded;
    };
    ASSERT_TRUE(ZQFConnectPins(source.Out(0), relay.In(0)));
    ASSERT_TRUE(ZQFConnectPins(relay.Out(0), sink.In(0)));
    ZQFAllocator* pool = source.Out(0)->GetAllocator();

    EXPECT_TRUE(source.Out(0)->Deliver(source.Out(0)->GetNewSample(0)));
    EXPECT_TRUE(pool->IsFull());

    sink.onSample = [](ZQFMediaSample*) { return false; };
    ZQFMediaSample* refused = source.Out(0)->GetNewSample(0);
    EXPECT_FALSE(source.Out(0)->Deliver(refused));
    EXPECT_EQ(refused->GetRefCount(), 1);
    EXPECT_FALSE(TestModule("lonely", 0, 1).Out(0)->Deliver(refused));  // unconnected
    EXPECT_FALSE(source.Out(0)->Deliver(nullptr));
    EXPECT_FALSE(pool->IsFull());
    refused->Recycle();
    EXPECT_TRUE(pool->IsFull());
}

}  // namespace
