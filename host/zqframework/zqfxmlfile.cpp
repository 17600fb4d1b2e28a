#include "zqfxmlfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "zqfxml.h"

namespace {

constexpr unsigned kParseOptions = pugi::parse_default;
constexpr const char* kIndent = "  ";

std::string ErrnoText() { return std::strerror(errno); }

bool ReadWholeFile(const std::string& path, std::string* text, std::string* error)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot read: " + (errno != 0 ? ErrnoText() : "cannot open");
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        *error = path + ": cannot read: " + ErrnoText();
        return false;
    }
    *text = std::move(content).str();
    return true;
}

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

// Depth first without recursion: the depth is what is being checked.
pugi::xml_node FirstElementBeyond(const pugi::xml_node& element, int maxDepth)
{
    pugi::xml_node node = element.first_child();
    int depth = 2;
    while (node) {
        if (node.type() == pugi::node_element && depth > maxDepth) {
            return node;
        }
        if (node.first_child()) {
            node = node.first_child();
            ++depth;
            continue;
        }
        while (!node.next_sibling()) {
            node = node.parent();
            --depth;
            if (node == element) {
                return {};
            }
        }
        node = node.next_sibling();
    }
    return {};
}

// Recursion bounded by the depth checked before.
std::unique_ptr<CXMLNode> ReadTree(const pugi::xml_node& element)
{
    auto node = std::make_unique<CXMLNode>(element.name());
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        node->AddAttrib(attribute.name(), attribute.value());
    }
    for (const pugi::xml_node& child : element.children()) {
        if (child.type() == pugi::node_element) {
            node->AddChild(ReadTree(child).release());
        }
    }
    return node;
}

}  // namespace

pugi::xml_node ZQFAppendXMLNode(pugi::xml_node parent, const CXMLNode& node)
{
    pugi::xml_node element = parent.append_child(node.GetName());
    for (const auto& [name, value] : node.GetAttributes()) {
        element.append_attribute(name.c_str()).set_value(value.c_str());
    }
    for (size_t i = 0; i < node.GetChildCount(); ++i) {
        ZQFAppendXMLNode(element, *node.GetChild(i));
    }
    return element;
}

std::unique_ptr<CXMLNode> ZQFReadXMLNode(const pugi::xml_node& element, pugi::xml_node* tooDeep)
{
    const pugi::xml_node beyond = FirstElementBeyond(element, kZQFMaxXMLDepth);
    if (beyond) {
        if (tooDeep != nullptr) {
            *tooDeep = beyond;
        }
        return nullptr;
    }
    return ReadTree(element);
}

ZQFTextPosition ZQFPositionOfOffset(std::string_view text, ptrdiff_t offset)
{
    ZQFTextPosition position;
    const size_t end = offset <= 0 ? 0 : std::min(static_cast<size_t>(offset), text.size());
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++position.line;
            position.column = 1;
        } else {
            ++position.column;
        }
    }
    return position;
}

bool ZQFXMLFile::Load(const std::string& path, std::string* error)
{
    m_path = path;
    m_text.clear();
    m_document.reset();
    std::string fault;
    if (!ReadWholeFile(path, &m_text, &fault)) {
        SetError(error, fault);
        return false;
    }
    const pugi::xml_parse_result result = m_document.load_buffer(m_text.data(), m_text.size(), kParseOptions);
    if (!result) {
        SetError(error, FaultAtOffset(result.offset, result.description()));
        return false;
    }
    return true;
}

std::string ZQFXMLFile::FaultAt(const pugi::xml_node& node, const std::string& message) const
{
    ptrdiff_t offset = node.offset_debug();
    // pugixml points at the element's name; the element starts at its '<'.
    if (offset > 0 && static_cast<size_t>(offset) <= m_text.size() && m_text[static_cast<size_t>(offset) - 1] == '<') {
        --offset;
    }
    return FaultAtOffset(offset, message);
}

std::string ZQFXMLFile::FaultAtOffset(ptrdiff_t offset, const std::string& message) const
{
    const ZQFTextPosition position = ZQFPositionOfOffset(m_text, offset);
    return m_path + ":" + std::to_string(position.line) + ":" + std::to_string(position.column) + ": " + message;
}

bool ZQFWriteXMLFile(const pugi::xml_document& document, const std::string& path, std::string* error)
{
    const std::string temporary = path + ".tmp";
    errno = 0;
    if (!document.save_file(temporary.c_str(), kIndent, pugi::format_default, pugi::encoding_utf8)) {
        SetError(error, path + ": cannot write: " + (errno != 0 ? ErrnoText() : "write failed"));
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        SetError(error, path + ": cannot write: " + ErrnoText());
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool ZQFSaveXMLNodeFile(const CXMLNode& root, const std::string& path, std::string* error)
{
    pugi::xml_document document;
    ZQFAppendXMLNode(document, root);
    return ZQFWriteXMLFile(document, path, error);
}

std::unique_ptr<CXMLNode> ZQFLoadXMLNodeFile(const std::string& path, std::string* error)
{
    ZQFXMLFile file;
    if (!file.Load(path, error)) {
        return nullptr;
    }
    const pugi::xml_node root = file.GetDocument().document_element();
    if (!root) {
        SetError(error, file.FaultAtOffset(0, "no root element"));
        return nullptr;
    }
    pugi::xml_node tooDeep;
    std::unique_ptr<CXMLNode> tree = ZQFReadXMLNode(root, &tooDeep);
    if (!tree) {
        SetError(error, file.FaultAt(tooDeep, "elements nested deeper than " + std::to_string(kZQFMaxXMLDepth) +
                                                  " levels"));
    }
    return tree;
}
