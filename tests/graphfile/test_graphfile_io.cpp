// The "io" attribute: a graph file asks for the shared I/O service for the
// whole graph or per module (the module's own goes first), the loaded graph
// keeps what it said, and saving writes it only where it asks for something
// other than a module's own threads. Bad values are refused with the other
// faults (test_graphfile_faults.cpp).
#include <gtest/gtest.h>

#include "graphfile_fixture.h"

namespace {

using namespace graphtest;

// A file of an "RTP in" (a) and a dispatcher (b), unconnected, with the
// attribute where its value is not empty.
std::string IOGraph(const std::string& graphIO, const std::string& aIO, const std::string& bIO)
{
    const auto io = [](const std::string& value) { return value.empty() ? "" : " io=\"" + value + "\""; };
    return "<?xml version=\"1.0\"?>\n<graph version=\"1\"" + io(graphIO) + ">\n" + "  <module id=\"a\" identity=\"" +
           ZQFIDText(kRTPInId) + "\" name=\"a\"" + io(aIO) + "/>\n" + "  <module id=\"b\" identity=\"" + ZQFIDText(kDispatcherId) +
           "\" name=\"b\"" + io(bIO) + "/>\n</graph>\n";
}

// "graph=<io> a=<io> b=<io>" as a saved file has them (the modules by name).
std::string WrittenIO(const std::string& path)
{
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(path.c_str()));
    const pugi::xml_node root = document.child("graph");
    std::string written = std::string("graph=") + root.attribute("io").value();
    for (const pugi::xml_node& module : root.children("module")) {
        written += std::string(" ") + module.attribute("name").value() + "=" + module.attribute("io").value();
    }
    return written;
}

// What a module runs on in the end: nothing said is its own threads.
const char* RunsOn(ZQFIOMode mode) { return mode == ZQFIOMode::Shared ? "shared" : "own"; }

std::string RunsOn(const ZQFGraph& graph)
{
    std::string modes;
    for (const ZQFModule* module : graph.GetModules()) {
        modes += std::string(modes.empty() ? "" : " ") + RunsOn(graph.EffectiveIOMode(module));
    }
    return modes;
}

using Mode = ZQFIOMode;

TEST_F(GraphFileTest, IOModesLoadAsSaidSaveOnlyWhereTheyAskForSomethingAndKeepTheirMeaning)
{
    const struct {
        std::string graphIO, aIO, bIO;
        Mode graph, a, b;  // as loaded: the graph's, and each module's in effect
        std::string written;
    } cases[] = {
        {"", "", "", Mode::Unsaid, Mode::Unsaid, Mode::Unsaid, "graph= a= b="},
        {"own", "own", "own", Mode::Own, Mode::Own, Mode::Own, "graph= a= b="},
        {"shared", "", "", Mode::Shared, Mode::Shared, Mode::Shared, "graph=shared a= b="},
        {"shared", "", "own", Mode::Shared, Mode::Shared, Mode::Own, "graph=shared a= b=own"},
        {"shared", "shared", "", Mode::Shared, Mode::Shared, Mode::Shared, "graph=shared a= b="},
        {"own", "shared", "", Mode::Own, Mode::Shared, Mode::Own, "graph= a=shared b="},
        {"", "shared", "own", Mode::Unsaid, Mode::Shared, Mode::Own, "graph= a=shared b="},
    };
    std::string plainText;
    for (const auto& c : cases) {
        SCOPED_TRACE("graph '" + c.graphIO + "', a '" + c.aIO + "', b '" + c.bIO + "'");
        const std::string path = folder.File("io.xml");
        WriteText(path, IOGraph(c.graphIO, c.aIO, c.bIO));
        std::string error;
        const std::unique_ptr<ZQFGraph> loaded = Load(path, &error);
        ASSERT_NE(loaded, nullptr) << error;
        ASSERT_EQ(loaded->GetModules().size(), 2u);
        EXPECT_EQ(loaded->GetIOMode(), c.graph);
        EXPECT_EQ(loaded->EffectiveIOMode(loaded->GetModules()[0]), c.a);
        EXPECT_EQ(loaded->EffectiveIOMode(loaded->GetModules()[1]), c.b);

        const std::string saved = folder.File("saved.xml");
        ASSERT_TRUE(ZQFSaveGraphFile(*loaded, registry, saved, &error)) << error;
        EXPECT_EQ(WrittenIO(saved), c.written);
        // A graph that asks for nothing is written as if the attribute
        // did not exist.
        if (c.written == "graph= a= b=") {
            if (plainText.empty()) {
                plainText = ReadText(saved);
            }
            EXPECT_EQ(ReadText(saved), plainText);
            EXPECT_EQ(plainText.find(" io="), std::string::npos) << plainText;
        }
        // Loaded again, every module runs as before, and the text holds.
        const std::unique_ptr<ZQFGraph> again = Load(saved, &error);
        ASSERT_NE(again, nullptr) << error;
        EXPECT_EQ(RunsOn(*again), RunsOn(*loaded));
        const std::string resaved = folder.File("resaved.xml");
        ASSERT_TRUE(ZQFSaveGraphFile(*again, registry, resaved, &error)) << error;
        EXPECT_EQ(ReadText(resaved), ReadText(saved));
    }
}

}  // namespace
