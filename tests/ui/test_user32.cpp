// The USER32 stand-in: dialogs from templates, list boxes, number reading,
// user actions and window timers.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "page_fixture.h"

namespace {

using uitest::Text;
using zqwin32::ControlKind;

constexpr int kEdit = 10;
constexpr int kCheck = 11;
constexpr int kList = 12;
constexpr int kDisabledEdit = 13;

constexpr zqwin32::DialogItemTemplate kItems[] = {
    {ControlKind::Static, -1, "Label", 0, 0, 40, 8, WS_CHILD},
    {ControlKind::Edit, kEdit, "start", 0, 10, 40, 13, WS_TABSTOP},
    {ControlKind::CheckBox, kCheck, "Box", 0, 25, 40, 10, BS_AUTOCHECKBOX},
    {ControlKind::ListBox, kList, "", 50, 0, 60, 80, LBS_SORT | LBS_NOTIFY},
    {ControlKind::Edit, kDisabledEdit, "fixed", 0, 40, 40, 13, WS_DISABLED},
};

struct Message {
    UINT message;
    WPARAM wParam;
};

class User32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        zqwin32::RegisterDialogTemplate("Test.DLL", 1, {WS_CHILD, "", "MS Sans Serif", 8, 120, 90, kItems});
        dialog = zqwin32::CreateDialogFromTemplate("test.dll", 1, nullptr, [this](HWND, UINT message, WPARAM w, LPARAM) {
            received.push_back({message, w});
            return LRESULT{1};
        });
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(dialog);
        zqwin32::UnregisterDialogTemplate("test.dll", 1);
    }

    LRESULT List(UINT message, WPARAM w = 0, LPARAM l = 0) { return SendDlgItemMessageA(dialog, kList, message, w, l); }
    LRESULT Add(const char* text) { return List(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }

    HWND dialog = nullptr;
    std::vector<Message> received;
};

TEST_F(User32Test, SortedListKeepsEachEntrysDataAndSelectionWithIt)
{
    EXPECT_EQ(Add("charlie"), 0);
    List(LB_SETITEMDATA, 0, 3);
    List(LB_SETCURSEL, 0);
    EXPECT_EQ(Add("Alpha"), 0);
    List(LB_SETITEMDATA, 0, 1);
    EXPECT_EQ(Add("bravo"), 1);  // sorted without regard to case
    List(LB_SETITEMDATA, 1, 2);

    zqwin32::DialogState state;
    ASSERT_TRUE(zqwin32::GetDialogState(dialog, &state));
    EXPECT_EQ(state.controls[3].items, (std::vector<std::string>{"Alpha", "bravo", "charlie"}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(List(LB_GETITEMDATA, static_cast<WPARAM>(i)), i + 1);
    }
    EXPECT_EQ(List(LB_GETCURSEL), 2);  // still "charlie"

    EXPECT_EQ(List(LB_SETCURSEL, 7), LB_ERR);
    EXPECT_EQ(List(LB_GETCURSEL), 2);
    EXPECT_EQ(List(LB_SETCURSEL, static_cast<WPARAM>(-1)), LB_ERR);
    EXPECT_EQ(List(LB_GETCURSEL), LB_ERR);
    EXPECT_EQ(List(LB_GETITEMDATA, 3), LB_ERR);
}

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

TEST_F(User32Test, UserActionsNotifyTheDialogAndDisabledControlsRefuseThem)
{
    EXPECT_EQ(Text(dialog, kEdit), "start");
    EXPECT_TRUE(zqwin32::TypeDialogItemText(dialog, kEdit, "typed"));
    EXPECT_TRUE(zqwin32::ClickDialogItem(dialog, kCheck));
    EXPECT_TRUE(uitest::IsChecked(dialog, kCheck));
    Add("one");
    EXPECT_TRUE(zqwin32::ChooseDialogListItem(dialog, kList, 0));
    EXPECT_FALSE(zqwin32::ChooseDialogListItem(dialog, kList, 1));
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].wParam, MAKEWPARAM(kEdit, EN_CHANGE));
    EXPECT_EQ(received[1].wParam, MAKEWPARAM(kCheck, BN_CLICKED));
    EXPECT_EQ(received[2].wParam, MAKEWPARAM(kList, LBN_SELCHANGE));

    EXPECT_FALSE(zqwin32::TypeDialogItemText(dialog, kDisabledEdit, "no"));
    EXPECT_EQ(Text(dialog, kDisabledEdit), "fixed");
    EXPECT_FALSE(zqwin32::ClickDialogItem(dialog, kEdit));  // not a check box
    EXPECT_FALSE(EnableWindow(GetDlgItem(dialog, kCheck), FALSE));  // was enabled
    EXPECT_FALSE(zqwin32::ClickDialogItem(dialog, kCheck));
    EXPECT_TRUE(EnableWindow(GetDlgItem(dialog, kCheck), TRUE));  // was disabled
    EXPECT_EQ(received.size(), 3u);
}

TEST_F(User32Test, TimersFireOnlyWhenPumpedOnceWhenLateAndNeverWhenKilled)
{
    uitest::ManualTime time;
    EXPECT_EQ(SetTimer(dialog, 77, 2000, nullptr), 77u);
    EXPECT_EQ(SetTimer(dialog, 0, 500, nullptr), 1u);
    ASSERT_TRUE(KillTimer(dialog, 0));
    EXPECT_EQ(zqwin32::MillisecondsUntilNextTimer(dialog), 2000);

    ZQCClock::AdvanceManualTime(1999);
    EXPECT_EQ(zqwin32::PumpDialogTimers(dialog), 0);
    ZQCClock::AdvanceManualTime(1);
    EXPECT_EQ(zqwin32::PumpDialogTimers(dialog), 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, WM_TIMER);
    EXPECT_EQ(received[0].wParam, 77u);

    ZQCClock::AdvanceManualTime(7000);
    EXPECT_EQ(zqwin32::PumpDialogTimers(dialog), 1);
    EXPECT_TRUE(KillTimer(dialog, 77));
    EXPECT_FALSE(KillTimer(dialog, 77));
    ZQCClock::AdvanceManualTime(5000);
    EXPECT_EQ(zqwin32::PumpDialogTimers(dialog), 0);
    EXPECT_EQ(zqwin32::MillisecondsUntilNextTimer(dialog), -1);
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
