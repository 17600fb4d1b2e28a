#pragma once
#include "zqcexport.h"

class ZQ_API ZQCThread {
public:
    static void Sleep(int ms);
};
