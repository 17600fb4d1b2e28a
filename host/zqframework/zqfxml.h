#pragma once
#include <string>
#include <utility>
#include <vector>

#include "zqcexport.h"

// A node of the host's XML configuration tree: a named element with ordered
// attributes and owned children. A node built with (parent, kind, flags) takes
// the element name the framework gives to that kind; it is not attached to
// the parent until the parent's AddChild.
class ZQ_API CXMLNode {
public:
    CXMLNode(CXMLNode* parent, int kind, int flags);
    explicit CXMLNode(const char* name);
    ~CXMLNode();
    CXMLNode(const CXMLNode&) = delete;
    CXMLNode& operator=(const CXMLNode&) = delete;

    void AddAttrib(const char* name, const char* value);
    void AddAttrib(const char* name, int value);
    // Appends `child` and takes it.
    void AddChild(CXMLNode* child);
    // The attribute's text, or null when the node has none of that name.
    const char* GetAttribute(const char* name) const;

    // Iteration over the children, asked of the parent: GetFirstChild starts
    // over, GetNextChild goes on; null at the end.
    CXMLNode* GetFirstChild();
    CXMLNode* GetNextChild();

    const char* GetName() const { return m_name.c_str(); }
    int GetKind() const { return m_kind; }
    int GetFlags() const { return m_flags; }
    CXMLNode* GetParent() const { return m_parent; }
    size_t GetChildCount() const { return m_children.size(); }
    CXMLNode* GetChild(size_t index) const { return index < m_children.size() ? m_children[index] : nullptr; }
    const std::vector<std::pair<std::string, std::string>>& GetAttributes() const { return m_attributes; }

    // The element name given to nodes of a construction kind.
    static const char* ElementNameForKind(int kind);

private:
    std::string m_name;
    int m_kind = 0;
    int m_flags = 0;
    CXMLNode* m_parent = nullptr;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    std::vector<CXMLNode*> m_children;
    size_t m_cursor = 0;
};
