// The layouts under real fonts: every caption fits its control at 96 DPI
// (with the prefix's font for "MS Sans Serif", as on Windows), and the
// backend scales positions, sizes and fonts with the DPI.

#include <gtest/gtest.h>

#include "../unit/FakeHttpClient.h"
#include "app/MainForm.h"
#include "app/NewSessionForm.h"
#include "editor/ImageEditorForm.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"
#include "app/Program.h"
#include "platform/fake/FakePlatform.h"
#include "ui/Controls.h"
#include "ui/headless/HeadlessBackend.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Win32Backend.h"

namespace snapora {
namespace {

using Kind = Control::Kind;

// What a caption needs beside its text, in pixels at 96 DPI.
int FrameAround(Kind kind) {
    switch (kind) {
        case Kind::CheckBox: return 13 + 4;  // the box and the gap to the text
        case Kind::Button: return 2 * 4;     // the raised edge and the focus frame
        default: return 0;
    }
}

std::string WithoutPrefixMarks(const std::string& text) {  // "&&" shows one "&", "&x" underlines x
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

struct Misfit {
    std::string control, text;
    int needed, available;
};

void Check(const Container& parent, HDC dc, GdiCache& gdi, std::vector<Misfit>& misfits, int& checked) {
    for (const Control* control : parent.Children()) {
        if (auto* container = dynamic_cast<const Container*>(control)) Check(*container, dc, gdi, misfits, checked);
        Kind kind = control->GetKind();
        if (kind != Kind::Label && kind != Kind::CheckBox && kind != Kind::Button) continue;
        if (control->Text().empty()) continue;
        std::wstring text = win32text::FromCp1252(WithoutPrefixMarks(control->Text()));
        SelectObject(dc, gdi.FontFor(control->GetFont(), dpi::Standard));
        ++checked;
        if (kind == Kind::Label && static_cast<const TLabel*>(control)->WordWrap) {
            RECT r{0, 0, control->Width(), 0};
            DrawTextW(dc, text.c_str(), int(text.size()), &r, DT_CALCRECT | DT_WORDBREAK);
            if (r.bottom > control->Height()) misfits.push_back({control->Name(), control->Text(), r.bottom, control->Height()});
            continue;
        }
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
        int available = control->Width() - FrameAround(kind);
        if (size.cx > available) misfits.push_back({control->Name(), control->Text(), int(size.cx), available});
    }
}

TEST(Layout, EveryCaptionFitsItsControlAt96Dpi) {
    HeadlessBackend backend;
    FakePlatform fake;
    FakeHttpClient http;
    Program program(backend, fake.platform, http);
    ASSERT_TRUE(program.Start());
    const Windows& w = program.Context().windows;

    GdiCache gdi;
    HDC dc = CreateCompatibleDC(nullptr);
    std::vector<Misfit> misfits;
    int checked = 0;
    for (const Form* form : std::initializer_list<const Form*>{w.main, w.session, w.editor, w.settings, w.history})
        Check(*form, dc, gdi, misfits, checked);
    DeleteDC(dc);

    EXPECT_GT(checked, 30);  // the forms' labels, check boxes and buttons were all there
    for (const Misfit& m : misfits)
        ADD_FAILURE() << m.control << " \"" << m.text << "\" needs " << m.needed << " px, has " << m.available;
}

// The model's units are 1/96 inch; the native windows are scaled by the DPI.
struct ScaledForm : Form {
    explicit ScaledForm(Application& app) : Form(app, "ScaledForm") {
        SetClientSize(410, 280);
        Button.SetBounds(8, 16, 89, 25);
    }
    TButton Button{this, "ScaledButton"};
};

TEST(Layout, NativeWindowsScaleWithTheDpi) {
    Win32Backend backend(GetModuleHandleW(nullptr));
    Application app(backend);
    ScaledForm& form = app.CreateForm<ScaledForm>();
    TButton& button = form.Button;

    HWND window = backend.WindowOf(form);
    HWND native = backend.WindowOf(button);
    auto expectScaledTo = [&](int scale) {
        RECT client{}, place{};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, dpi::ToNative(410, scale)) << scale;
        EXPECT_EQ(client.bottom, dpi::ToNative(280, scale)) << scale;
        EXPECT_EQ(form.ClientWidth(), 410) << scale;  // the model keeps its units
        EXPECT_EQ(form.ClientHeight(), 280) << scale;

        GetWindowRect(native, &place);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, dpi::ToNative(8, scale)) << scale;
        EXPECT_EQ(place.top, dpi::ToNative(16, scale)) << scale;
        EXPECT_EQ(place.right, dpi::ToNative(97, scale)) << scale;
        EXPECT_EQ(place.bottom, dpi::ToNative(41, scale)) << scale;

        // An 8 point font is 8/72 inch high, whatever the DPI.
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(native, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, -MulDiv(8, scale, 72)) << scale;
    };
    expectScaledTo(dpi::OfWindow(window));

    // Moved to a monitor of 150 %: the system says so, and everything follows.
    RECT suggested{100, 100, 800, 600};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    expectScaledTo(144);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 100);  // where the system suggested
    EXPECT_EQ(outer.top, 100);
}

}  // namespace
}  // namespace snapora
