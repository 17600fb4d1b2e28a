// A graph file that cannot be used is refused with one message naming the
// file, the line and the column, and nothing of it is left or started.
#include <gtest/gtest.h>

#include <atomic>

#include "graphfile_fixture.h"
#include "zqfpin.h"

namespace {

using namespace graphtest;

constexpr ZQFID kJournalId{0x0a0b0c0d, 0x1111, 0x2222, {3, 3, 4, 4, 5, 5, 6, 6}};
constexpr const char* kJournalIdText = "0a0b0c0d-1111-2222-0303-040405050606";

// A module with one pin of each direction that counts its instances and
// what the graph does to it.
struct JournalCounts {
    std::atomic<int> alive{0};
    std::atomic<int> lifecycleCalls{0};
};

class JournalModule : public ZQFModule {
public:
    explicit JournalModule(JournalCounts* counts) : ZQFModule(kJournalId, "journal"), m_counts(counts)
    {
        AddPin(new ZQFPinIn(this, "in"));
        AddPin(new ZQFPinOutAuto(this, "out", 0));
        ++m_counts->alive;
    }
    ~JournalModule() override { --m_counts->alive; }
    bool OnEndFlush() override { return Count(); }
    bool OnStart() override { return Count(); }

private:
    bool Count()
    {
        ++m_counts->lifecycleCalls;
        return true;
    }
    JournalCounts* m_counts;
};

class GraphFileFaults : public GraphFileTest {
protected:
    void SetUp() override
    {
        GraphFileTest::SetUp();
        std::string error;
        ASSERT_TRUE(registry.AddHostKind(
            kJournalId, "journal", [this](CXMLNode*, std::string*) -> ZQIModule* { return new JournalModule(&counts); },
            [](ZQFModule&, CXMLNode*, std::string*) { return true; }, &error))
            << error;
    }

    // Loads `text` from a file and answers the message, which must be the
    // only result: no graph, nothing alive, nothing started.
    std::string Refusal(const std::string& text)
    {
        WriteText(path, text);
        std::string error;
        const std::unique_ptr<ZQFGraph> graph = Load(path, &error);
        EXPECT_EQ(graph, nullptr);
        EXPECT_EQ(counts.alive.load(), 0);
        EXPECT_EQ(counts.lifecycleCalls.load(), 0);
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        return error;
    }

    // "<path>:<line>:<column>: ..." with the message containing `what`.
    void ExpectRefused(const std::string& text, const std::string& position, const std::string& what)
    {
        const std::string error = Refusal(text);
        EXPECT_EQ(error.rfind(path + ":" + position + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(what), std::string::npos) << error;
    }

    JournalCounts counts;
    const std::string path = folder.File("graph.xml");
};

// A file of two journal modules; the faults below are made in copies of it.
std::string JournalGraph(
    const std::string& modules = "",
    const std::string& connection = "  <connection from=\"a\" output=\"0\" to=\"b\" input=\"0\"/>\n")
{
    return std::string("<?xml version=\"1.0\"?>\n<graph version=\"1\">\n") + "  <module id=\"a\" identity=\"" +
           kJournalIdText + "\" name=\"first\"/>\n" + "  <module id=\"b\" identity=\"" + kJournalIdText +
           "\" name=\"second\"/>\n" + modules + connection + "</graph>\n";
}

std::string Connection(const std::string& attributes)
{
    return JournalGraph("", "  <connection " + attributes + "/>\n");
}

// Each broken file, where the fault is and what the message says.
TEST_F(GraphFileFaults, EachFaultIsPlacedAndNamed)
{
    const std::string whole = JournalGraph();
    const std::string module = std::string("  <module id=\"c\" identity=\"") + kJournalIdText + "\"";
    WriteText(folder.File("not-a-plugin.so"), "text");
    const struct {
        std::string text, position, what;
    } cases[] = {
        // Malformed XML, placed where the parser finds it.
        {whole.substr(0, whole.find("name=\"second\"") + 8), "4:72", "Error parsing element attribute"},
        {"", "1:1", "No document element"},
        {"<graph version=\"1\">\n  <module id=\"a\">\n  </graph>\n", "3:5", "Start-end tags mismatch"},
        // The root and its elements.
        {"<?xml version=\"1.0\"?>\n<graf version=\"1\"/>\n", "2:1", "the root element is <graf>, not <graph>"},
        {"<graph/>\n", "1:1", "<graph> lacks the attribute version"},
        {"\n<graph version=\"2\"/>\n", "2:1", "version 2 is not supported"},
        {"<graph version=\"1\">\n  <modul id=\"a\"/>\n</graph>\n", "2:3", "unexpected element <modul>"},
        // Modules.
        {JournalGraph(std::string("  <module identity=\"") + kJournalIdText + "\"/>\n"), "5:3",
         "<module> lacks the attribute id"},
        {JournalGraph("  <module id=\"c\"/>\n"), "5:3", "<module> lacks the attribute identity"},
        {JournalGraph("  <module id=\"c\" identity=\"not-an-identity\"/>\n"), "5:3",
         "identity 'not-an-identity' is not an identity"},
        {JournalGraph("  <module id=\"c\" identity=\"0a0b0c0d-1111-2222-0303-040405050607\"/>\n"), "5:3",
         "unknown module identity 0a0b0c0d-1111-2222-0303-040405050607"},
        {JournalGraph(std::string("  <module id=\"a\" identity=\"") + kJournalIdText + "\"/>\n"), "5:3",
         "module id 'a' is used twice"},
        // The I/O mode: shared or own, in these letters, on the graph or a module.
        {"<graph version=\"1\" io=\"fast\"/>\n", "1:1", "io='fast' is not shared or own"},
        {JournalGraph(module + " io=\"Shared\"/>\n"), "5:3", "io='Shared' is not shared or own"},
        {JournalGraph(module + " io=\"\"/>\n"), "5:3", "io='' is not shared or own"},
        {JournalGraph(module + " io=\"" + std::string(5000, 's') + "\"/>\n"), "5:3",
         "io='" + std::string(40, 's') + "...' is not shared or own"},
        // Refused at the first element beyond the limit (so the limit itself
        // is taken), however far deeper than recursion would survive.
        {JournalGraph(module + ">\n" + Nested(200000, "") + "\n  </module>\n"),
         "6:" + std::to_string(3 * kZQFMaxXMLDepth - 2), "settings nested deeper than"},
        // Connections.
        {Connection("from=\"a\" output=\"0\" to=\"c\" input=\"0\""), "5:3", "no module with id 'c'"},
        {Connection("from=\"a\" output=\"1\" to=\"b\" input=\"0\""), "5:3", "'first' has no output pin 1"},
        {Connection("from=\"a\" output=\"0\" to=\"b\" input=\"-1\""), "5:3", "input='-1' is not a pin index"},
        {Connection("from=\"a\" output=\"0x0\" to=\"b\" input=\"0\""), "5:3", "output='0x0' is not a pin index"},
        {Connection("from=\"a\" output=\"0\" to=\"b\""), "5:3", "<connection> lacks the attribute input"},
        {JournalGraph("", "  <connection from=\"b\" output=\"0\" to=\"a\" input=\"0\"/>\n"
                          "  <connection from=\"a\" output=\"0\" to=\"b\" input=\"0\"/>\n"),
         "6:3", "would close a loop"},
        // Plug-ins.
        {JournalGraph("  <plugin path=\"zqmrtpstack.so\"/>\n"), "5:3",
         "plug-in zqmrtpstack.so is not where the host looks for plug-ins"},
        {JournalGraph("  <plugin/>\n"), "5:3", "<plugin> lacks the attribute path"},
        {JournalGraph("  <plugin path=\"./not-a-plugin.so\"/>\n"), "5:3",
         "cannot load plug-in " + folder.File("not-a-plugin.so")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectRefused(c.text, c.position, c.what);
    }
    options.findPlugin = [this](const std::string&) { return folder.File("not-a-plugin.so"); };
    ExpectRefused(JournalGraph("  <plugin path=\"zqmrtpstack.so\"/>\n"), "5:3", "cannot load plug-in");
}

TEST_F(GraphFileFaults, UnusableStockSettingsNameTheModuleAndSetting)
{
    char source[40] = {};
    ZQFID2String(ZQStockSourceIdentity(), source, sizeof source);
    const auto withSetting = [&](const std::string& name, const std::string& value) {
        return JournalGraph(std::string("  <module id=\"s\" identity=\"") + source + "\">\n" +
                            "    <settings name=\"ZQStockSource\">\n      <setting name=\"" + name +
                            "\" type=\"INT\" value=\"" + value + "\"/>\n    </settings>\n  </module>\n");
    };
    ExpectRefused(withSetting("ToneHz", "loud"), "5:3", "module 's': setting ToneHz: 'loud' is not a number");
    ExpectRefused(withSetting("PoolCount", "0"), "5:3", "setting PoolCount: '0' is not an integer from 1 to 4096");
    ExpectRefused(withSetting("FirstSequenceNumber", "65536"), "5:3", "setting FirstSequenceNumber");
    ExpectRefused(withSetting("Paced", "yes"), "5:3", "setting Paced: 'yes' is not 0 or 1");
    ExpectRefused(withSetting("Content", "noise"), "5:3",
                  "setting Content: 'noise' is not tone, chirp, file or pushed");
    // A value of any length is quoted only in part.
    const std::string error = Refusal(withSetting("MainType", std::string(10000, '9')));
    EXPECT_LT(error.size(), 300u) << error;
}

}  // namespace
