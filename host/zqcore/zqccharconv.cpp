#include "zqccharconv.h"

std::string ZQCCharConv::S2A(const char* text) { return text ? std::string(text) : std::string(); }
