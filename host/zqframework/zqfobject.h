#pragma once
#include <string>

#include "zqcexport.h"

class ZQ_API ZQFObject {
public:
    ZQFObject() = default;
    virtual ~ZQFObject() = default;

    void SetName(const char* name) { m_name = name ? name : ""; }
    const char* GetName() const { return m_name.c_str(); }

private:
    std::string m_name;
};
