#include "zqfxml.h"

#include <cstring>
#include <string>

const char* CXMLNode::ElementNameForKind(int kind)
{
    switch (kind) {
    case 1:
        return "module";
    case 2:
        return "settings";
    case 3:
        return "setting";
    default:
        return "node";
    }
}

CXMLNode::CXMLNode(CXMLNode* parent, int kind, int flags)
    : m_name(ElementNameForKind(kind)), m_kind(kind), m_flags(flags), m_parent(parent)
{
}

CXMLNode::CXMLNode(const char* name) : m_name(name ? name : "node") {}

CXMLNode::~CXMLNode()
{
    for (CXMLNode* child : m_children) {
        delete child;
    }
}

void CXMLNode::AddAttrib(const char* name, const char* value)
{
    m_attributes.emplace_back(name ? name : "", value ? value : "");
}

void CXMLNode::AddAttrib(const char* name, int value) { AddAttrib(name, std::to_string(value).c_str()); }

void CXMLNode::AddChild(CXMLNode* child)
{
    if (child == nullptr || child == this) {
        return;
    }
    child->m_parent = this;
    m_children.push_back(child);
}

const char* CXMLNode::GetAttribute(const char* name) const
{
    if (name == nullptr) {
        return nullptr;
    }
    for (const auto& attribute : m_attributes) {
        if (attribute.first == name) {
            return attribute.second.c_str();
        }
    }
    return nullptr;
}

CXMLNode* CXMLNode::GetFirstChild()
{
    m_cursor = 0;
    return GetNextChild();
}

CXMLNode* CXMLNode::GetNextChild()
{
    if (m_cursor >= m_children.size()) {
        return nullptr;
    }
    return m_children[m_cursor++];
}
