// zqhost's codec table against the plug-in: the payload type it lists for a
// codec is the one the stack gives that codec by default, as the stack's
// control interface shows it.
#include <gtest/gtest.h>

#include <memory>

#include "codecs.h"
#include "stackidentities.h"
#include "zqfmodule.h"
#include "zqfplugin.h"

namespace {

class CodecTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        m_plugin.reset(ZQFPlugin::Load(ZQ_PLUGIN_PATH, &error));
        ASSERT_NE(m_plugin, nullptr) << error;
        const int index = m_plugin->FindDescriptor(kRTPOutModuleId);
        ASSERT_GE(index, 0);
        m_module.reset(m_plugin->CreateModule(index, &error));
        ASSERT_NE(m_module, nullptr) << error;
        m_stack = RTPStackOf(m_module.get());
        ASSERT_NE(m_stack, nullptr);
    }
    void TearDown() override
    {
        m_module.reset();  // before its plug-in goes
        m_plugin.reset();
    }

    std::unique_ptr<ZQFPlugin> m_plugin;
    std::unique_ptr<ZQIModule> m_module;
    ZQIRTPStack* m_stack = nullptr;
};

// Another payload type that the stack accepts.
uint8_t OtherThan(int payloadType)
{
    uint8_t other = static_cast<uint8_t>((payloadType + 1) % 128);
    return other == 72 ? 74 : other;
}

TEST_F(CodecTable, PayloadTypesAreTheStacksDefaults)
{
    for (const Codec& codec : AllCodecs()) {
        SCOPED_TRACE(codec.key);
        if (codec.defaultPayloadType < 0) {
            EXPECT_FALSE(m_stack->EnableMediaType(codec.mediaType));
            continue;
        }
        ASSERT_TRUE(m_stack->EnableMediaType(codec.mediaType));
        // Adding a media type again under the payload type it has changes
        // nothing and answers false; under another one it is replaced.
        EXPECT_FALSE(m_stack->AddMediaType(codec.mediaType, static_cast<uint8_t>(codec.defaultPayloadType)));
        EXPECT_TRUE(m_stack->AddMediaType(codec.mediaType, OtherThan(codec.defaultPayloadType)));
        EXPECT_TRUE(m_stack->RemoveMediaType(codec.mediaType));
    }
}

}  // namespace
