// CXMLNode trees to and from XML files. Where a fault lies in a graph file is
// checked with the graph files (test_graphfile_faults).
#include <gtest/gtest.h>

#include "graphfile_fixture.h"

namespace {

using graphtest::Nested;
using graphtest::TemporaryFolder;

// Settings-shaped tree with the characters XML must escape and repeated
// names, so that order and text both have to survive.
std::unique_ptr<CXMLNode> SampleTree()
{
    auto root = std::make_unique<CXMLNode>("graph");
    root->AddAttrib("zeta", "1");
    root->AddAttrib("alpha", "2");
    auto* settings = new CXMLNode(root.get(), 2, 0);
    settings->AddAttrib("name", "ZQMRTPStackProPage");
    for (const char* value : {"a&b<c>", "\"quoted\" 'single'", "", "tab\there\nline", "second"}) {
        auto* setting = new CXMLNode(settings, 3, 2);
        setting->AddAttrib("name", "same");
        setting->AddAttrib("value", value);
        settings->AddChild(setting);
    }
    root->AddChild(settings);
    root->AddChild(new CXMLNode("empty"));
    return root;
}

void ExpectSameTree(const CXMLNode& expected, const CXMLNode& actual)
{
    EXPECT_STREQ(expected.GetName(), actual.GetName());
    EXPECT_EQ(expected.GetAttributes(), actual.GetAttributes());
    ASSERT_EQ(expected.GetChildCount(), actual.GetChildCount()) << expected.GetName();
    for (size_t i = 0; i < expected.GetChildCount(); ++i) {
        ExpectSameTree(*expected.GetChild(i), *actual.GetChild(i));
    }
}

TEST(XMLFile, TreeSurvivesAFileRoundTripWithOrderAndEscapes)
{
    TemporaryFolder folder;
    const std::unique_ptr<CXMLNode> tree = SampleTree();
    std::string error;
    ASSERT_TRUE(ZQFSaveXMLNodeFile(*tree, folder.File("tree.xml"), &error)) << error;
    const std::unique_ptr<CXMLNode> loaded = ZQFLoadXMLNodeFile(folder.File("tree.xml"), &error);
    ASSERT_NE(loaded, nullptr) << error;
    ExpectSameTree(*tree, *loaded);
    // Kinds give the element names; they are what the file holds.
    EXPECT_STREQ(loaded->GetChild(0)->GetName(), "settings");
    EXPECT_STREQ(loaded->GetChild(0)->GetChild(0)->GetName(), "setting");
    // The temporary file is gone once the file is in place.
    EXPECT_FALSE(std::filesystem::exists(folder.File("tree.xml.tmp")));

    const std::string nowhere = folder.File("no/such/folder/tree.xml");
    EXPECT_FALSE(ZQFSaveXMLNodeFile(*tree, nowhere, &error));
    EXPECT_EQ(error.rfind(nowhere + ": cannot write", 0), 0u) << error;
}

TEST(XMLFile, TreesDeeperThanTheLimitAreRefusedAtTheFirstElementBeyond)
{
    TemporaryFolder folder;
    const std::string path = folder.File("deep.xml");
    std::string error;
    graphtest::WriteText(path, Nested(kZQFMaxXMLDepth));
    EXPECT_NE(ZQFLoadXMLNodeFile(path, &error), nullptr) << error;

    graphtest::WriteText(path, Nested(kZQFMaxXMLDepth + 1));
    EXPECT_EQ(ZQFLoadXMLNodeFile(path, &error), nullptr);
    EXPECT_EQ(error, path + ":" + std::to_string(kZQFMaxXMLDepth + 1) + ":1: elements nested deeper than " +
                         std::to_string(kZQFMaxXMLDepth) + " levels");
    // Far deeper than any stack would take by recursion.
    graphtest::WriteText(path, Nested(200000));
    EXPECT_EQ(ZQFLoadXMLNodeFile(path, &error), nullptr);
}

}  // namespace
