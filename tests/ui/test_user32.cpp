// The USER32 stand-in: number reading and the handles of a destroyed dialog.
// Lists, timers and user actions are tested through the pages.
#include <gtest/gtest.h>

#include <climits>

#include "page_fixture.h"

namespace {

using zqwin32::ControlKind;

constexpr int kEdit = 10;

constexpr zqwin32::DialogItemTemplate kItems[] = {
    {ControlKind::Static, -1, "Label", 0, 0, 40, 8, WS_CHILD},
    {ControlKind::Edit, kEdit, "start", 0, 10, 40, 13, WS_TABSTOP},
};

class User32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        zqwin32::RegisterDialogTemplate("Test.DLL", 1, {WS_CHILD, "", "MS Sans Serif", 8, 120, 90, kItems});
        dialog = zqwin32::CreateDialogFromTemplate("test.dll", 1, nullptr, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT{1}; });
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(dialog);
        zqwin32::UnregisterDialogTemplate("test.dll", 1);
    }

    HWND dialog = nullptr;
};

TEST_F(User32Test, GetDlgItemIntReadsOnlyWholeDecimalNumbers)
{
    struct Case {
        const char* text;
        BOOL isSigned;
        UINT value;
        BOOL translated;
    };
    const Case cases[] = {
        {"42", FALSE, 42, TRUE},          {" 7 ", FALSE, 7, TRUE},          {"12ab", FALSE, 0, FALSE},
        {"", FALSE, 0, FALSE},            {"-3", FALSE, 0, FALSE},          {"-3", TRUE, static_cast<UINT>(-3), TRUE},
        {"4294967295", FALSE, UINT_MAX, TRUE}, {"4294967296", FALSE, 0, FALSE}, {"2147483648", TRUE, 0, FALSE},
    };
    for (const Case& c : cases) {
        SetDlgItemTextA(dialog, kEdit, c.text);
        BOOL translated = -1;
        EXPECT_EQ(GetDlgItemInt(dialog, kEdit, &translated, c.isSigned), c.value) << c.text;
        EXPECT_EQ(translated, c.translated) << c.text;
    }
}

TEST_F(User32Test, HandlesOfADestroyedDialogFindNothing)
{
    HWND edit = GetDlgItem(dialog, kEdit);
    SetTimer(dialog, 5, 100, nullptr);
    ASSERT_TRUE(DestroyWindow(dialog));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_FALSE(SetDlgItemTextA(dialog, kEdit, "x"));
    EXPECT_EQ(SendMessageA(edit, BM_GETCHECK, 0, 0), 0);
    EXPECT_EQ(SetTimer(dialog, 5, 100, nullptr), 0u);
    EXPECT_EQ(zqwin32::GetTimerCount(dialog), 0);
    EXPECT_EQ(zqwin32::CreateDialogFromTemplate("test.dll", 2, nullptr, {}), nullptr);
}

}  // namespace
