// The editor on real windows: what the native controls do that the model
// can't see, the text box's scrolling and the hints of greyed buttons.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "../unit/FakeHttpClient.h"
#include "MessagePump.h"
#include "app/Program.h"
#include "editor/ImageEditorForm.h"
#include "platform/fake/FakePlatform.h"
#include "ui/win32/Win32Backend.h"

namespace snapora {
namespace {

class Win32Editor : public ::testing::Test {
protected:
    void SetUp() override {
        backend.SetApplication(&program.App());
        ASSERT_TRUE(program.Start());
        editor = program.Context().windows.editor;
        editor->Picture().SetSize(400, 300);
        editor->Picture().Canvas().FillRect(Rect{0, 0, 400, 300}, clWhite);
        editor->Show();
        testing::PumpFor(50);
    }
    HWND Window(const Control& control) { return backend.WindowOf(control); }

    FakePlatform fake;
    FakeHttpClient http;
    Win32Backend backend{GetModuleHandleW(nullptr)};
    Program program{backend, fake.platform, http};
    TImageEditorForm* editor = nullptr;
};

// The box is widened as each letter comes in; the edit has scrolled sideways
// by then, and the first letters would stay out of sight until Enter.
TEST_F(Win32Editor, TextBoxShowsTheWholeLineAtEveryKeystroke) {
    editor->CmdText.Click();
    editor->Image1MouseDown(MouseButton::Left, 0, 40, 60);
    HWND box = Window(editor->TextEdit);
    ASSERT_TRUE(IsWindowVisible(box));
    std::wstring typed;
    for (wchar_t letter : std::wstring(L"Hallo Welt, WWW und mmm")) {
        SendMessageW(box, WM_CHAR, letter, 0);
        typed += letter;
        // For a single-line edit: the first character in sight.
        ASSERT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "after " << typed.size() << " letters";
    }
    EXPECT_EQ(editor->TextEdit.Text(), "Hallo Welt, WWW und mmm");
}

HWND TooltipOf(HWND form) {
    struct Search {
        HWND owner, found;
    } search{form, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == TOOLTIPS_CLASSW && GetWindow(window, GW_OWNER) == s->owner) s->found = window;
            return s->found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A greyed window gets no mouse input; its parent does, and shows its hint.
TEST_F(Win32Editor, GreyedUndoAndRedoShowTheirHints) {
    ASSERT_FALSE(editor->CmdUndo.Enabled());
    ASSERT_FALSE(editor->CmdRedo.Enabled());
    HWND tooltip = TooltipOf(Window(*editor));
    ASSERT_NE(tooltip, nullptr);
    SendMessageW(tooltip, TTM_SETDELAYTIME, TTDT_INITIAL, 1);
    for (TToolButton* button : {&editor->CmdUndo, &editor->CmdRedo}) {
        HWND native = Window(*button);
        ASSERT_FALSE(IsWindowEnabled(native));
        RECT r{};
        GetWindowRect(native, &r);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        bool shown = testing::PumpUntil([&] {
            return IsWindowVisible(tooltip) && SendMessageW(tooltip, TTM_GETCURRENTTOOLW, 0, LPARAM(&tool)) &&
                   tool.uId == reinterpret_cast<UINT_PTR>(native);
        });
        ASSERT_TRUE(shown) << button->Hint;
        wchar_t text[80] = {};
        tool.lpszText = text;
        SendMessageW(tooltip, TTM_GETTEXTW, 80, LPARAM(&tool));
        EXPECT_EQ(win32text::ToCp1252(text), button->Hint);
    }
    // A wider title field moves the buttons along the toolbar: their areas follow.
    editor->CaptionEdit.SetBounds(0, 0, editor->CaptionEdit.Width() + 64, editor->CaptionEdit.Height());
    editor->ToolBar1.Realign();
    HWND undo = Window(editor->CmdUndo);
    RECT r{};
    GetWindowRect(undo, &r);
    TTHITTESTINFOW hit{};
    hit.hwnd = GetParent(undo);
    hit.pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(hit.hwnd, &hit.pt);
    hit.ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ASSERT_TRUE(SendMessageW(tooltip, TTM_HITTESTW, 0, LPARAM(&hit)));
    EXPECT_EQ(hit.ti.uId, reinterpret_cast<UINT_PTR>(undo));
}

}  // namespace
}  // namespace snapora
