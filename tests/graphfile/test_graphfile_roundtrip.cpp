// A graph saved to a file and loaded back is the same graph, and saving it
// again gives the same text. What the file looks like is pinned by the
// checked-in examples (zqhost.graph.save_matches_examples).
#include <gtest/gtest.h>

#include <cstring>

#include "graphfile_fixture.h"
#include "zqfilecapturesink.h"
#include "zqfmediatype.h"
#include "zqfpin.h"
#include "zqirtpstack.h"

namespace {

using namespace graphtest;

constexpr ZQFID kRTPStackInterfaceId{0x4892c26c, 0x58a0, 0x441a, {0x93, 0x88, 0x3c, 0xbd, 0xb0, 0xc6, 0xdf, 0x8e}};
constexpr int32_t kG711A = 0x40001;
constexpr int32_t kRFC2833 = 0x40019;

// The stack module's control interface, as the host reaches it.
ZQIRTPStack* StackOf(ZQFModule* module)
{
    void* found = nullptr;
    EXPECT_TRUE(module->QueryInterface(kRTPStackInterfaceId, &found));
    return static_cast<ZQIRTPStack*>(found);
}

int DispatcherPinOf(ZQFModule* dispatcher, int32_t mediaType)
{
    for (int i = 0; i < dispatcher->GetOutputPinCount(); ++i) {
        ZQFMediaType type;
        ZQFFormatBuffer* format = nullptr;
        if (dispatcher->GetOutputPin(i)->GetMediaTypeAt(0, &type, &format) && type.GetSubType() == mediaType) {
            return i;
        }
    }
    return -1;
}

class GraphFileRoundTrip : public GraphFileTest {
protected:
    // "RTP in" -> dispatcher -> one capture sink per media type, the sinks
    // added in reverse so that file order and connection order differ.
    void BuildReceiver(ZQFGraph& graph)
    {
        // Markup in a name must come back as text.
        ZQFModule* rtpIn = Add(graph, kRTPInId, "receiver \"A&B\" <1>");
        ASSERT_NE(rtpIn, nullptr);
        ZQIRTPStack* stack = StackOf(rtpIn);
        ASSERT_NE(stack, nullptr);
        stack->SetLocalIPAddress("127.0.0.2");
        stack->SetLocalRTPPort("5004");
        stack->SetLocalRTCPPort("5005");
        stack->SetRemoteRTPAddress("127.0.0.1");
        stack->SetRemoteRTPPort("6004");
        stack->SetRemoteRTCPPort("6005");
        ASSERT_TRUE(stack->EnableMediaType(kG711A));
        ASSERT_TRUE(stack->EnableMediaType(kRFC2833));
        auto* events = new ZQFileCaptureSink("events", {folder.File("events.raw"), 0});
        auto* voice = new ZQFileCaptureSink("voice", {folder.File("voice.raw"), 25});
        graph.AddModule(events);
        ZQFModule* dispatcher = Add(graph, kDispatcherId, "split");
        graph.AddModule(voice);
        ASSERT_TRUE(graph.Connect(rtpIn, 0, dispatcher, 0));
        ASSERT_EQ(dispatcher->GetOutputPinCount(), 2);
        ASSERT_TRUE(graph.Connect(dispatcher, DispatcherPinOf(dispatcher, kG711A), voice, 0));
        ASSERT_TRUE(graph.Connect(dispatcher, DispatcherPinOf(dispatcher, kRFC2833), events, 0));
    }
    // Builds the receiver into `original` and saves it as receiver.xml.
    void SaveReceiver()
    {
        ASSERT_NO_FATAL_FAILURE(BuildReceiver(original));
        std::string error;
        ASSERT_TRUE(ZQFSaveGraphFile(original, registry, path, &error)) << error;
    }

    ZQFGraph original;
    const std::string path = folder.File("receiver.xml");
};

TEST_F(GraphFileRoundTrip, ReceiverGraphLoadsBackEqualInAnyConnectionOrderAndSavesToTheSameText)
{
    ASSERT_NO_FATAL_FAILURE(SaveReceiver());
    std::string error;
    const std::unique_ptr<ZQFGraph> loaded = Load(path, &error);
    ASSERT_NE(loaded, nullptr) << error;
    EXPECT_FALSE(loaded->IsStarted());
    EXPECT_EQ(Picture(*loaded, registry), Picture(original, registry));

    const std::string second = folder.File("again.xml");
    ASSERT_TRUE(ZQFSaveGraphFile(*loaded, registry, second, &error)) << error;
    EXPECT_EQ(ReadText(second), ReadText(path));

    // Connections in any order: with the "RTP in" -> dispatcher one moved to
    // the end, the dispatcher's output pins do not exist until it is made.
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(path.c_str()));
    pugi::xml_node root = document.child("graph");
    root.append_move(root.child("connection"));
    ASSERT_TRUE(document.save_file(path.c_str()));
    const std::unique_ptr<ZQFGraph> reordered = Load(path, &error);
    ASSERT_NE(reordered, nullptr) << error;
    EXPECT_EQ(Picture(*reordered, registry), Picture(original, registry));
}

// A bare name is the host's to find: the checked-in examples name the
// plug-in so, and zqhost.graph.run_* run them.
TEST_F(GraphFileRoundTrip, RelativePluginPathsResolveAgainstTheFileFolder)
{
    ASSERT_NO_FATAL_FAILURE(SaveReceiver());
    std::string error;
    std::string text = ReadText(path);
    const std::string absolute = std::string("path=\"") + kPluginPath + "\"";
    const size_t named = text.find(absolute);
    ASSERT_NE(named, std::string::npos);

    // Relative to the file's own folder, wherever the reader runs.
    fs::create_directories(folder.Path() / "deeper");
    const std::string relative = fs::relative(kPluginPath, folder.Path() / "deeper").string();
    WriteText(folder.File("deeper/relative.xml"), text.replace(named, absolute.size(), "path=\"" + relative + "\""));
    const std::unique_ptr<ZQFGraph> fromRelative = Load(folder.File("deeper/relative.xml"), &error);
    ASSERT_NE(fromRelative, nullptr) << error;
    EXPECT_EQ(Picture(*fromRelative, registry), Picture(original, registry));
    {
        // Loaded first under a relative name, and saved elsewhere: the path
        // is made relative to the new folder.
        ZQFModuleRegistry fresh;
        ASSERT_TRUE(ZQRegisterStockModules(fresh, &error)) << error;
        const std::unique_ptr<ZQFGraph> graph =
            ZQFLoadGraphFile(folder.File("deeper/relative.xml"), fresh, options, &error);
        ASSERT_NE(graph, nullptr) << error;
        ASSERT_TRUE(ZQFSaveGraphFile(*graph, fresh, folder.File("moved.xml"), &error)) << error;
        const std::string moved = "path=\"" + fs::relative(kPluginPath, folder.Path()).string() + "\"";
        EXPECT_NE(ReadText(folder.File("moved.xml")).find(moved), std::string::npos) << moved;
    }
}

}  // namespace
