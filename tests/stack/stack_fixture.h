#pragma once
// An "RTP in" module wired to a recording sink: its stack's notifications
// reach a real downstream module through the framework.
#include <gtest/gtest.h>

#include <memory>

#include "log_capture.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "recording_sink.h"
#include "zqfpin.h"
#include "zqmrtpstack.h"

class WiredStackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "Input RTP stack");
        sink = std::make_unique<testsupport::RecordingSink>();
        ASSERT_TRUE(ZQFConnectPins(module->GetOutputPin(0), sink->GetInputPin(0)));
        stack = module->GetStack();
        logs.Clear();
    }

    void TearDown() override
    {
        ZQFDisconnectPins(module->GetOutputPin(0));
        module.reset();
        sink.reset();
    }

    LogCapture logs;
    std::unique_ptr<ZQMRTPStackModule> module;
    std::unique_ptr<testsupport::RecordingSink> sink;
    ZQMRTPStack* stack = nullptr;
};
