#pragma once
#include <string>

#include "zqcexport.h"

class ZQ_API ZQCCharConv {
public:
    // The narrow form of a dialog text (dialog texts are narrow already here).
    static std::string S2A(const char* text);
};
