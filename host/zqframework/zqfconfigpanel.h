#pragma once
// A module that has a configuration panel (its property sheet).
#include "zqfid.h"
#include "zqwin32.h"

// 78aa6534-025d-46c6-9a43-3e52a0f7113c
extern ZQ_API const ZQFID IID_ZQIConfigPanel;

class ZQIConfigPanel {
public:
    virtual int DisplayConfigPanel(HWND parent, int flag) = 0;
    virtual HWND GetConfigPanel() = 0;

protected:
    ~ZQIConfigPanel() = default;
};
