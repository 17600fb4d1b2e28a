#pragma once
// XML files of the host: CXMLNode trees to and from pugixml documents, and a
// file reader that can say where in the text a fault is.
//
// A CXMLNode is an element name, attributes in order and children in order;
// the conversions keep exactly that. Text content and comments are not part
// of a node and are dropped when a document is read.
//
// zqframework links pugixml privately (the plug-in never needs it); a user of
// this header that calls pugixml itself links pugixml too.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "zqcexport.h"

class CXMLNode;

// Appends `node` (and its subtree) as the last child element of `parent`.
ZQ_API pugi::xml_node ZQFAppendXMLNode(pugi::xml_node parent, const CXMLNode& node);

// CXMLNode trees are walked recursively, here and by the modules that read
// their settings, so a file nesting elements deeper than this is refused.
inline constexpr int kZQFMaxXMLDepth = 100;

// The tree of an element. Kinds are not stored in files: the nodes come back
// with the element names, built with the name constructor. Null when the
// tree is deeper than kZQFMaxXMLDepth levels (the element is level 1);
// `tooDeep` then gets the first element beyond.
ZQ_API std::unique_ptr<CXMLNode> ZQFReadXMLNode(const pugi::xml_node& element, pugi::xml_node* tooDeep = nullptr);

// Where a byte offset of a text lies: line and column, both counted from 1.
struct ZQFTextPosition {
    int line = 1;
    int column = 1;
};
ZQ_API ZQFTextPosition ZQFPositionOfOffset(std::string_view text, ptrdiff_t offset);

// An XML file read into a document, with its text kept so that every fault
// can be reported as "<path>:<line>:<column>: <what>".
class ZQ_API ZQFXMLFile {
public:
    // False with `error` set when the file cannot be read or is not
    // well-formed XML (pugixml's description at pugixml's offset).
    bool Load(const std::string& path, std::string* error);

    const std::string& GetPath() const { return m_path; }
    const pugi::xml_document& GetDocument() const { return m_document; }

    // "<path>:<line>:<column>: <message>" at the start of `node`'s element
    // (the file's start when pugixml does not know the node's place).
    std::string FaultAt(const pugi::xml_node& node, const std::string& message) const;
    std::string FaultAtOffset(ptrdiff_t offset, const std::string& message) const;

private:
    std::string m_path;
    std::string m_text;
    pugi::xml_document m_document;
};

// Writes the document to `path` through a temporary file beside it, so that
// a failed write never leaves half a file behind. False with `error` naming
// the file.
ZQ_API bool ZQFWriteXMLFile(const pugi::xml_document& document, const std::string& path, std::string* error);

// A CXMLNode tree as a whole file: the root element is `root`.
ZQ_API bool ZQFSaveXMLNodeFile(const CXMLNode& root, const std::string& path, std::string* error);
ZQ_API std::unique_ptr<CXMLNode> ZQFLoadXMLNodeFile(const std::string& path, std::string* error);
