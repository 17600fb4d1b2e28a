// CXMLNode trees to and from XML files, and where a fault lies in a file.
#include <gtest/gtest.h>

#include "graphfile_fixture.h"

namespace {

using graphtest::Nested;
using graphtest::NodeText;
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

TEST(XMLFile, TextAndCommentsAreNotPartOfANode)
{
    TemporaryFolder folder;
    graphtest::WriteText(folder.File("mixed.xml"), "<a x='1'>text<!-- note --><b/>more<c y='2'/></a>");
    std::string error;
    const std::unique_ptr<CXMLNode> loaded = ZQFLoadXMLNodeFile(folder.File("mixed.xml"), &error);
    ASSERT_NE(loaded, nullptr) << error;
    EXPECT_EQ(NodeText(*loaded), "<a x=\"1\">\n  <b />\n  <c y=\"2\" />\n</a>\n");
}

TEST(XMLFile, FaultsNameTheFileLineAndColumn)
{
    TemporaryFolder folder;
    const std::string path = folder.File("broken.xml");
    graphtest::WriteText(path, "<a>\n  <b x='1'>\n  </c>\n</a>\n");
    std::string error;
    EXPECT_EQ(ZQFLoadXMLNodeFile(path, &error), nullptr);
    EXPECT_EQ(error.rfind(path + ":3:", 0), 0u) << error;

    ZQFXMLFile file;
    graphtest::WriteText(path, "<a>\n  <b/>\n</a>\n");
    ASSERT_TRUE(file.Load(path, &error)) << error;
    const pugi::xml_node b = file.GetDocument().document_element().first_child();
    EXPECT_EQ(file.FaultAt(b, "wrong"), path + ":2:3: wrong");

    EXPECT_FALSE(file.Load(folder.File("missing.xml"), &error));
    EXPECT_EQ(error.rfind(folder.File("missing.xml") + ": cannot read", 0), 0u) << error;
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
