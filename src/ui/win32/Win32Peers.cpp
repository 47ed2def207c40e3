#include "ui/win32/Win32Peers.h"
#include "platform/win32/DibPixels.h"

#include "gif/GIFImage.h"
#include "ui/win32/Win32GifSurface.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "platform/win32/GdiCanvas.h"
#include "ui/win32/Dpi.h"
#include "ui/Controls.h"
#include "ui/ScrollBox.h"
#include "ui/StatusBar.h"
#include "ui/ToolBar.h"

namespace snapora {

namespace win32text {

std::wstring FromCp1252(std::string_view text) {
    if (text.empty()) return {};
    int length = MultiByteToWideChar(1252, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(1252, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string ToCp1252(std::wstring_view text) {
    if (text.empty()) return {};
    int length = WideCharToMultiByte(1252, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(length), '\0');
    WideCharToMultiByte(1252, 0, text.data(), int(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

std::string WindowText(HWND window) {
    std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return ToCp1252(text);
}

}  // namespace win32text

using win32text::FromCp1252;
using Kind = Control::Kind;

COLORREF ResolveColour(Colour colour, COLORREF fallback) {
    if (colour == clDefault || colour == clNone) return fallback;
    if (IsSystemColour(colour)) return GetSysColor(int(colour & 0xFF));
    return colour & 0xFFFFFF;
}

COLORREF BackgroundOf(const Control& control) {
    for (const Control* c = &control; c; c = c->Parent())
        if (c->Color() != clDefault && c->Color() != clNone) return ResolveColour(c->Color(), 0);
    return GetSysColor(COLOR_BTNFACE);
}

// ---- GdiCache

HFONT GdiCache::FontFor(const Font& font, int dpi) {
    auto key = std::make_tuple(font.name, font.points, font.pixelHeight, font.bold, dpi);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second.get();

    LOGFONTW lf{};
    // Pixel heights are model units like every other measure.
    lf.lfHeight = font.pixelHeight ? -dpi::ToNative(font.pixelHeight, dpi) : -MulDiv(font.points, dpi, 72);
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    std::wstring face = FromCp1252(font.name).substr(0, LF_FACESIZE - 1);
    face.copy(lf.lfFaceName, face.size());
    HFONT created = CreateFontIndirectW(&lf);
    if (!created) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    fonts_.emplace(std::move(key), UniqueFont(created));
    return created;
}

HBRUSH GdiCache::BrushFor(COLORREF colour) {
    auto& brush = brushes_[colour];
    if (!brush) brush.reset(CreateSolidBrush(colour));
    return brush.get();
}

HICON GdiCache::ProgramIcon(HINSTANCE instance, int size) {
    HICON& icon = programIcons_[size];
    if (!icon) icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_SHARED));
    if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    return icon;
}

// ---- controls

namespace {

struct Recipe {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle = 0;
};

Recipe RecipeFor(const Control& control, const NativeClasses& classes) {
    DWORD common = WS_CHILD | WS_CLIPSIBLINGS;
    if (control.Visible()) common |= WS_VISIBLE;
    if (!control.Enabled()) common |= WS_DISABLED;
    if (control.TabStop) common |= WS_TABSTOP;

    switch (control.GetKind()) {
        case Kind::Label: {
            const auto& label = static_cast<const TLabel&>(control);
            DWORD align = label.TextAlign == Alignment::Centre  ? SS_CENTER
                          : label.TextAlign == Alignment::Right ? SS_RIGHT
                          : label.WordWrap                      ? SS_LEFT
                                                                : SS_LEFTNOWORDWRAP;
            return {L"STATIC", common | align | SS_NOTIFY};
        }
        case Kind::Button:
            return {L"BUTTON",
                    common | DWORD(static_cast<const TButton&>(control).Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)};
        case Kind::CheckBox:
            return {L"BUTTON", common | BS_AUTOCHECKBOX};
        case Kind::Edit: {
            const auto& edit = static_cast<const TEdit&>(control);
            DWORD style = common | ES_AUTOHSCROLL;
            if (edit.ReadOnly) style |= ES_READONLY;
            if (edit.PasswordChar) style |= ES_PASSWORD;
            return {L"EDIT", style, edit.Border ? DWORD(WS_EX_CLIENTEDGE) : 0u};
        }
        case Kind::ProgressBar:
            return {PROGRESS_CLASSW, common};
        case Kind::Panel:
        case Kind::Notebook:
        case Kind::Page:
        case Kind::TabSheet:
        case Kind::GroupBox:
            // Tab navigation descends into children of WS_EX_CONTROLPARENT windows.
            // A group box is one of our containers drawing its own frame: a BS_GROUPBOX
            // button would not pass its children's notifications on.
            return {classes.container, common | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
        case Kind::PageControl:
            // The sheets are its children, so they move and hide with it; the backend
            // makes the tab strip itself a Tab stop before the sheet's controls.
            return {WC_TABCONTROLW, common | WS_CLIPCHILDREN | TCS_TABS, WS_EX_CONTROLPARENT};
        case Kind::SpinEdit:
            // The up-down buttons are a second window, made beside it.
            return {L"EDIT", common | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case Kind::Bevel:
            return {L"STATIC",
                    common | DWORD(static_cast<const TBevel&>(control).TopLineOnly ? SS_ETCHEDHORZ : SS_ETCHEDFRAME)};
        case Kind::Image:
            // Without SS_NOTIFY a static lets the mouse through to what lies behind it.
            return {L"STATIC", common | SS_OWNERDRAW |
                                   DWORD(static_cast<const TImage&>(control).MouseTransparent ? 0 : SS_NOTIFY)};
        case Kind::ScrollBox:
            return {classes.container, common | WS_CLIPCHILDREN | WS_HSCROLL | WS_VSCROLL, WS_EX_CONTROLPARENT};
        case Kind::ToolBar:
            return {classes.container, common | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
        case Kind::ToolButton:
            if (static_cast<const TToolButton&>(control).Style == ToolButtonStyle::Separator)
                return {L"STATIC", common | SS_NOTIFY};  // painted by the toolbar's background
            return {L"BUTTON", (common & ~DWORD(WS_TABSTOP)) | BS_OWNERDRAW};
        case Kind::UpDown:
            return {UPDOWN_CLASSW, common | UDS_ARROWKEYS | UDS_NOTHOUSANDS};
        case Kind::StatusBar:
            return {STATUSCLASSNAMEW, common | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER};
        case Kind::ComboBox:
            return {L"COMBOBOX", common | CBS_DROPDOWNLIST | WS_VSCROLL};
        case Kind::ListBox:
            return {L"LISTBOX", common | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, WS_EX_CLIENTEDGE};
        case Kind::Picture:
            return {L"STATIC", common | SS_OWNERDRAW | SS_NOTIFY};
        case Kind::Form:
            break;
    }
    throw std::logic_error("a form cannot be the child of another window");
}

// The tool of a control's parent window that covers the control's area.
TTTOOLINFOW ParentTool(HWND control) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // older common controls reject the larger size
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    GetWindowRect(control, &tool.rect);
    MapWindowPoints(nullptr, tool.hwnd, reinterpret_cast<POINT*>(&tool.rect), 2);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    return tool;
}

// Windows of the backend's container class.
bool IsContainer(Kind kind) {
    return kind == Kind::Panel || kind == Kind::Notebook || kind == Kind::Page || kind == Kind::GroupBox ||
           kind == Kind::TabSheet || kind == Kind::ScrollBox || kind == Kind::ToolBar;
}

bool HoldsChildren(Kind kind) { return IsContainer(kind) || kind == Kind::PageControl; }

bool IsSheetOfPageControl(const Control& control) {
    return control.GetKind() == Kind::TabSheet && control.Parent() &&
           control.Parent()->GetKind() == Kind::PageControl;
}

int ChildIndex(const Container& parent, const Control& child) {
    const auto& children = parent.Children();
    for (size_t i = 0; i < children.size(); ++i)
        if (children[i] == &child) return int(i);
    return -1;
}

void SetTabCaption(HWND tabs, int tab, const std::string& caption, bool insert) {
    std::wstring text = FromCp1252(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(tabs, insert ? TCM_INSERTITEMW : TCM_SETITEMW, WPARAM(tab), reinterpret_cast<LPARAM>(&item));
}

// Sets a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

int TabOfPage(const Container& pageControl, int childIndex) {
    const auto& children = pageControl.Children();
    if (childIndex < 0 || childIndex >= int(children.size()) || children[size_t(childIndex)]->GetKind() != Kind::TabSheet)
        return -1;
    int tab = 0;
    for (int i = 0; i < childIndex; ++i)
        if (children[size_t(i)]->GetKind() == Kind::TabSheet) ++tab;
    return tab;
}

int PageOfTab(const Container& pageControl, int tabIndex) {
    const auto& children = pageControl.Children();
    for (int i = 0, tab = 0; i < int(children.size()); ++i)
        if (children[size_t(i)]->GetKind() == Kind::TabSheet && tab++ == tabIndex) return i;
    return -1;
}

Win32ControlPeer::Win32ControlPeer(Control& control, HWND window, GdiCache& gdi, const int& dpi)
    : control_(control), window_(window), gdi_(gdi), dpi_(dpi) {
    if (control_.GetKind() == Kind::Picture) {
        auto& gif = static_cast<TGIFImage&>(control_);
        gifHost_ = std::make_unique<Win32GifHost>(window_, gif, dpi_);
        gif.SetHost(gifHost_.get());
    }
}

Win32ControlPeer::~Win32ControlPeer() {
    if (gifHost_) static_cast<TGIFImage&>(control_).SetHost(nullptr);
}

RECT Win32ControlPeer::NativeBounds() const {
    Rect r = control_.Bounds();
    if (control_.GetKind() == Kind::Page && control_.Parent())  // pages fill their notebook
        r = Rect::FromSize(0, 0, control_.Parent()->Width(), control_.Parent()->Height());
    else if (IsSheetOfPageControl(control_) && control_.Parent()->Peer()) {
        // Sheets fill the tab control's display area, inside its frame and below the tabs.
        HWND tabs = reinterpret_cast<HWND>(control_.Parent()->Handle());
        RECT area;
        GetClientRect(tabs, &area);
        SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        if (area.right < area.left) area.right = area.left;
        if (area.bottom < area.top) area.bottom = area.top;
        return area;
    }
    else if (control_.GetKind() == Kind::ComboBox)
        r.bottom = r.top + 200;  // a drop-down list's window includes its open list
    // Each edge on its own, so neighbours that touch in the model touch on screen.
    RECT native{dpi::ToNative(r.left, dpi_), dpi::ToNative(r.top, dpi_), dpi::ToNative(r.right, dpi_),
                dpi::ToNative(r.bottom, dpi_)};
    if (control_.GetKind() == Kind::Bevel && static_cast<TBevel&>(control_).TopLineOnly)
        native.bottom = native.top + 2;  // an etched line is two pixels whatever the scale
    return native;
}

void Win32ControlPeer::Update(Change what) {
    switch (what) {
        case Change::Bounds: {
            RECT r = NativeBounds();
            MoveWindow(window_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
            // Setting the buddy again lines the buttons up at the edit's right edge and narrows the edit.
            if (buttons_) SendMessageW(buttons_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(window_), 0);
            // A frame drawn along the edges would stay behind at the old size.
            if (control_.GetKind() == Kind::Panel || control_.GetKind() == Kind::GroupBox)
                InvalidateRect(window_, nullptr, TRUE);
            if (control_.GetKind() == Kind::Notebook)
                for (Control* page : static_cast<Container&>(control_).Children())
                    if (page->Peer()) page->Peer()->Update(Change::Bounds);
            if (control_.GetKind() == Kind::PageControl) LayOutSheets();
            if (control_.GetKind() == Kind::Edit) ShowTextFromItsStart();
            if (parentTip_) {
                TTTOOLINFOW tool = ParentTool(window_);
                SendMessageW(parentTip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
            }
            break;
        }
        case Change::Text:
            // Rewriting an edit's own text would throw the caret back to the start.
            if (win32text::WindowText(window_) != control_.Text()) {
                FlagScope writing(writingText_);
                SetWindowTextW(window_, FromCp1252(control_.Text()).c_str());
            }
            if (IsContainer(control_.GetKind())) InvalidateRect(window_, nullptr, TRUE);
            if (IsSheetOfPageControl(control_) && control_.Parent()->Peer()) {
                int tab = TabOfPage(*control_.Parent(), ChildIndex(*control_.Parent(), control_));
                if (tab >= 0) SetTabCaption(reinterpret_cast<HWND>(control_.Parent()->Handle()), tab, control_.Text(), false);
            }
            break;
        case Change::Visible:
            // What appears in a view (the editor's text box) floats over the picture there.
            if (control_.Visible() && control_.Parent() && control_.Parent()->GetKind() == Kind::ScrollBox)
                SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            ShowWindow(window_, control_.Visible() ? SW_SHOWNA : SW_HIDE);
            if (buttons_) ShowWindow(buttons_, control_.Visible() ? SW_SHOWNA : SW_HIDE);
            break;
        case Change::Enabled:
            EnableWindow(window_, control_.Enabled());
            if (buttons_) EnableWindow(buttons_, control_.Enabled());
            break;
        case Change::Font:
            SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(gdi_.FontFor(control_.GetFont(), dpi_)), TRUE);
            InvalidateRect(window_, nullptr, TRUE);
            if (control_.GetKind() == Kind::PageControl) LayOutSheets();  // the tab row's height follows the font
            break;
        case Change::Colour:
            RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
            break;
        case Change::State:
            MirrorState();
            if (control_.GetKind() == Kind::Edit) SendMessageW(window_, EM_SETSEL, 0, -1);  // SelectAll
            break;
        case Change::Items:
            if (control_.GetKind() == Kind::StatusBar) MirrorStatusPanels();
            if (control_.GetKind() == Kind::ComboBox) {
                SendMessageW(window_, CB_RESETCONTENT, 0, 0);
                for (const std::string& item : static_cast<TComboBox&>(control_).Items())
                    SendMessageW(window_, CB_ADDSTRING, 0, LPARAM(FromCp1252(item).c_str()));
                MirrorState();
            }
            if (control_.GetKind() == Kind::ListBox) {
                SendMessageW(window_, LB_RESETCONTENT, 0, 0);
                for (const std::string& item : static_cast<TListBox&>(control_).Items())
                    SendMessageW(window_, LB_ADDSTRING, 0, LPARAM(FromCp1252(item).c_str()));
                MirrorState();
            }
            break;
        case Change::Focus:
            // A hidden window would be activated by SetFocus; activation restores the focus later.
            if (IsWindowVisible(GetAncestor(window_, GA_ROOT))) ::SetFocus(window_);
            break;
    }
}

// An edit scrolls sideways as soon as a letter would pass its right edge; one
// that grows with its text (the editor's text box) is widened only after the
// letter is in, and would keep its first letters out of sight. Once the whole
// text fits again, it is shown from its start.
void Win32ControlPeer::ShowTextFromItsStart() {
    // For a single-line edit this is the first character in sight.
    if (SendMessageW(window_, EM_GETFIRSTVISIBLELINE, 0, 0) == 0) return;
    std::wstring text = FromCp1252(control_.Text());
    RECT area{};
    SendMessageW(window_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    HDC dc = GetDC(window_);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    if (extent.cx >= area.right - area.left) return;  // too long for it: the caret decides what shows
    DWORD start = 0, end = 0;
    SendMessageW(window_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageW(window_, EM_SETSEL, 0, 0);
    SendMessageW(window_, EM_SCROLLCARET, 0, 0);
    SendMessageW(window_, EM_SETSEL, start, end);
}

void Win32ControlPeer::MirrorState() {
    switch (control_.GetKind()) {
        case Kind::Button: {
            DWORD wanted = static_cast<TButton&>(control_).Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            if ((GetWindowLongW(window_, GWL_STYLE) & BS_TYPEMASK) != wanted)  // restyling repaints
                SendMessageW(window_, BM_SETSTYLE, wanted, TRUE);
            break;
        }
        case Kind::CheckBox:
            SendMessageW(window_, BM_SETCHECK,
                         static_cast<TCheckBox&>(control_).Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case Kind::Edit: {
            // ReadOnly and PasswordChar are plain fields; a state change is the chance to catch up.
            auto& edit = static_cast<TEdit&>(control_);
            SendMessageW(window_, EM_SETREADONLY, edit.ReadOnly, 0);
            if (edit.PasswordChar) {
                std::wstring mask = FromCp1252(std::string_view(&edit.PasswordChar, 1));
                SendMessageW(window_, EM_SETPASSWORDCHAR, mask.empty() ? L'*' : mask[0], 0);
            }
            break;
        }
        case Kind::PageControl: {
            // Selecting by message sends no TCN_SELCHANGE, so nothing echoes back to the model.
            auto& pages = static_cast<TPageControl&>(control_);
            int tab = TabOfPage(pages, pages.ActivePageIndex());
            if (tab >= 0 && SendMessageW(window_, TCM_GETCURSEL, 0, 0) != tab) SendMessageW(window_, TCM_SETCURSEL, WPARAM(tab), 0);
            break;
        }
        case Kind::ProgressBar: {
            auto& bar = static_cast<TProgressBar&>(control_);
            SendMessageW(window_, PBM_SETRANGE32, WPARAM(bar.Min), LPARAM(bar.Max));
            SendMessageW(window_, PBM_SETPOS, WPARAM(bar.Position()), 0);
            break;
        }
        case Kind::Image: {
            // Only what changed, and without erasing: a drag repaints a little at a time.
            Rect area = static_cast<TImage&>(control_).TakeInvalidArea();
            // Outward, so the scaled picture's edge pixels are repainted too.
            RECT r{MulDiv(area.left, dpi_, dpi::Standard) - 1, MulDiv(area.top, dpi_, dpi::Standard) - 1,
                   MulDiv(area.right, dpi_, dpi::Standard) + 1, MulDiv(area.bottom, dpi_, dpi::Standard) + 1};
            InvalidateRect(window_, area.IsEmpty() ? nullptr : &r, area.IsEmpty());
            break;
        }
        case Kind::Picture:
        case Kind::ToolButton:
            InvalidateRect(window_, nullptr, TRUE);
            break;
        case Kind::ScrollBox:
            MirrorScrollBars();
            break;
        case Kind::StatusBar:
            MirrorStatusPanels();
            break;
        case Kind::ComboBox: {
            auto& box = static_cast<TComboBox&>(control_);
            if (SendMessageW(window_, CB_GETCURSEL, 0, 0) != box.ItemIndex())
                SendMessageW(window_, CB_SETCURSEL, WPARAM(box.ItemIndex()), 0);
            break;
        }
        case Kind::ListBox:
            SendMessageW(window_, LB_SETCURSEL, WPARAM(static_cast<TListBox&>(control_).ItemIndex()), 0);
            break;
        default:
            break;
    }
}

HBRUSH Win32ControlPeer::Colours(UINT message, HDC dc) {
    COLORREF text = ResolveColour(control_.GetFont().colour, GetSysColor(COLOR_WINDOWTEXT));
    switch (control_.GetKind()) {
        case Kind::Button:
            return nullptr;
        case Kind::Edit:
        case Kind::SpinEdit: {
            // Read-only and disabled edits ask with WM_CTLCOLORSTATIC and look like the dialog face.
            COLORREF fallback = GetSysColor(message == WM_CTLCOLORSTATIC ? COLOR_BTNFACE : COLOR_WINDOW);
            COLORREF back = ResolveColour(control_.Color(), fallback);
            SetTextColor(dc, text);
            SetBkColor(dc, back);
            return gdi_.BrushFor(back);
        }
        default: {
            // Labels, check boxes and bevels show what lies behind them.
            COLORREF back = BackgroundOf(control_);
            SetTextColor(dc, text);
            SetBkColor(dc, back);
            SetBkMode(dc, TRANSPARENT);
            return gdi_.BrushFor(back);
        }
    }
}

void Win32ControlPeer::MirrorScrollBars() {
    auto& box = static_cast<TScrollBox&>(control_);
    Size range = box.Range();
    auto bar = [&](int which, bool shown, int size, int page, int position) {
        ShowScrollBar(window_, which, shown);
        SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(0, size - 1), UINT(std::max(0, page)),
                        position, 0};
        SetScrollInfo(window_, which, &info, TRUE);
    };
    auto px = [this](int value) { return dpi::ToNative(value, dpi_); };
    bar(SB_HORZ, box.HasHorzScrollBar(), px(range.width), px(box.ClientWidth()), px(box.Position().x));
    bar(SB_VERT, box.HasVertScrollBar(), px(range.height), px(box.ClientHeight()), px(box.Position().y));
}

void Win32ControlPeer::MirrorStatusPanels() {
    const auto& panels = static_cast<TStatusBar&>(control_).Panels();
    std::vector<int> edges;
    int x = 0;
    for (size_t i = 0; i < panels.size(); ++i) {
        x += dpi::ToNative(panels[i].width, dpi_);
        edges.push_back(i + 1 == panels.size() ? -1 : x);  // the last panel runs to the end
    }
    SendMessageW(window_, SB_SETPARTS, WPARAM(edges.size()), reinterpret_cast<LPARAM>(edges.data()));
    for (size_t i = 0; i < panels.size(); ++i)
        SendMessageW(window_, SB_SETTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(FromCp1252(panels[i].text).c_str()));
}

void Win32ControlPeer::DrawToolButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    auto& button = static_cast<TToolButton&>(control_);
    RECT r = item.rcItem;
    COLORREF face = BackgroundOf(control_);
    bool pressed = button.Down() || (item.itemState & ODS_SELECTED);
    // The chosen tool stands out like a checked button of the system's toolbars.
    if (pressed) face = RGB(204, 228, 247);
    FillRect(dc, &r, gdi_.BrushFor(face));
    if (pressed) FrameRect(dc, &r, gdi_.BrushFor(RGB(0, 120, 215)));
    auto* bar = control_.Parent() && control_.Parent()->GetKind() == Kind::ToolBar
                    ? static_cast<TToolBar*>(control_.Parent())
                    : nullptr;
    if (!bar || button.ImageIndex < 0) return;
    int size = bar->ImageSize();
    if (size <= 0 || (button.ImageIndex + 1) * size > bar->Images.Width()) return;
    // The picture over the face: transparent pixels show it, a disabled button is pale.
    Bitmap glyph(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Colour c = bar->Images.Pixel(button.ImageIndex * size + x, y);
            if (c == bar->TransparentColour) c = Colour(face);
            if (!button.Enabled()) {
                int grey = (RedOf(c) * 30 + GreenOf(c) * 59 + BlueOf(c) * 11) / 100;
                grey = grey / 3 + 160;
                c = MakeColour(std::uint8_t(grey), std::uint8_t(grey), std::uint8_t(grey));
            }
            glyph.SetPixel(x, y, c);
        }
    int offset = pressed ? 1 : 0;
    DrawPixels(dc, glyph, (r.right - r.left - size) / 2 + offset, (r.bottom - r.top - size) / 2 + offset);
}

void Win32ControlPeer::Draw(const DRAWITEMSTRUCT& item) {
    if (control_.GetKind() == Kind::ToolButton) return DrawToolButton(item);
    HDC dc = item.hDC;
    if (control_.GetKind() == Kind::Picture) {
        // The control decides whether the parent's background goes beneath it.
        Win32GifSurface surface(dc, static_cast<TGIFImage&>(control_), dpi_);
        static_cast<TGIFImage&>(control_).NativePaint(surface);
        return;
    }
    // A picture that covers the whole control needs no background beneath it.
    auto* shown = control_.GetKind() == Kind::Image ? &static_cast<TImage&>(control_) : nullptr;
    bool covered = shown && !shown->ShowsProgramIcon && dpi::ToNative(shown->Picture.Width(), dpi_) >= item.rcItem.right &&
                   dpi::ToNative(shown->Picture.Height(), dpi_) >= item.rcItem.bottom;
    if (!covered) FillRect(dc, &item.rcItem, gdi_.BrushFor(BackgroundOf(control_)));
    if (control_.GetKind() != Kind::Image) return;

    auto& image = static_cast<TImage&>(control_);
    if (image.ShowsProgramIcon) {
        auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
        int size = dpi::ToNative(32, dpi_);
        DrawIconEx(dc, 0, 0, gdi_.ProgramIcon(instance, size), size, size, 0, nullptr, DI_NORMAL);
        return;
    }
    if (!image.Picture.IsEmpty()) DrawScaled(dc, image.Picture);
}

void Win32ControlPeer::DrawScaled(HDC dc, const Bitmap& picture) {
    if (dpi_ == dpi::Standard || picture.IsEmpty()) return DrawPixels(dc, picture);
    // Only the part the paint needs, pixel blocks without smoothing (fast, and exact at 200 %).
    RECT clip;
    if (GetClipBox(dc, &clip) == NULLREGION) return;
    int left = std::max(0, MulDiv(clip.left, dpi::Standard, dpi_) - 1);
    int top = std::max(0, MulDiv(clip.top, dpi::Standard, dpi_) - 1);
    int right = std::min(picture.Width(), MulDiv(clip.right, dpi::Standard, dpi_) + 2);
    int bottom = std::min(picture.Height(), MulDiv(clip.bottom, dpi::Standard, dpi_) + 2);
    if (right <= left || bottom <= top) return;
    int x = dpi::ToNative(left, dpi_), y = dpi::ToNative(top, dpi_);
    int width = dpi::ToNative(right, dpi_) - x, height = dpi::ToNative(bottom, dpi_) - y;
    SetStretchBltMode(dc, COLORONCOLOR);
    if (auto* gdi = dynamic_cast<GdiCanvas*>(&const_cast<Bitmap&>(picture).Canvas())) {
        GdiFlush();
        StretchBlt(dc, x, y, width, height, gdi->Dc(), left, top, right - left, bottom - top, SRCCOPY);
        return;
    }
    BITMAPINFO info = TopDown24(picture.Width(), picture.Height());
    StretchDIBits(dc, x, y, width, height, left, top, right - left, bottom - top, picture.Row(0), &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

void Win32ControlPeer::DrawPixels(HDC dc, const Bitmap& picture, int x, int y) {
    // A picture with its own memory dc goes across as far as the paint needs.
    if (x == 0 && y == 0 && !picture.IsEmpty())
        if (auto* gdi = dynamic_cast<GdiCanvas*>(&const_cast<Bitmap&>(picture).Canvas())) {
            RECT clip;
            if (GetClipBox(dc, &clip) == NULLREGION) return;
            GdiFlush();
            BitBlt(dc, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, gdi->Dc(), clip.left,
                   clip.top, SRCCOPY);
            return;
        }
    // Otherwise straight from the pixels.
    BITMAPINFO info = TopDown24(picture.Width(), picture.Height());
    SetDIBitsToDevice(dc, x, y, DWORD(picture.Width()), DWORD(picture.Height()), 0, 0, 0, UINT(picture.Height()),
                      picture.Row(0), &info, DIB_RGB_COLORS);
}

void Win32ControlPeer::LayOutSheets() {
    for (Control* sheet : static_cast<Container&>(control_).Children())
        if (sheet->Peer()) sheet->Peer()->Update(Change::Bounds);
}

void Win32ControlPeer::PaintGroupFrame(HDC dc, const RECT& area) {
    HGDIOBJ oldFont = SelectObject(dc, gdi_.FontFor(control_.GetFont(), dpi_));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    // The frame's top line runs through the middle of the caption, as with a BS_GROUPBOX.
    RECT frame = area;
    frame.top += metrics.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    if (!control_.Text().empty()) {
        std::wstring caption = FromCp1252(control_.Text());
        int inset = dpi::ToNative(8, dpi_);
        RECT text{inset, 0, area.right - inset, metrics.tmHeight};
        DrawTextW(dc, caption.c_str(), int(caption.size()), &text, DT_SINGLELINE | DT_CALCRECT);
        RECT gap{text.left - 2, 0, text.right + 2, metrics.tmHeight};
        FillRect(dc, &gap, gdi_.BrushFor(BackgroundOf(control_)));  // the line stops either side of the caption
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, control_.Enabled() ? ResolveColour(control_.GetFont().colour, GetSysColor(COLOR_WINDOWTEXT))
                                            : GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(dc, caption.c_str(), int(caption.size()), &text, DT_SINGLELINE);
    }
    SelectObject(dc, oldFont);
}

void Win32ControlPeer::PaintBackground(HDC dc) {
    RECT r;
    GetClientRect(window_, &r);
    FillRect(dc, &r, gdi_.BrushFor(BackgroundOf(control_)));
    if (control_.GetKind() == Kind::GroupBox) {
        PaintGroupFrame(dc, r);
        return;
    }
    if (control_.GetKind() != Kind::Panel) return;

    // Drawn inside the client area so children keep the model's coordinates.
    auto& panel = static_cast<TPanel&>(control_);
    if (panel.Bevel == BevelKind::Lowered) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    if (panel.Bevel == BevelKind::Raised) DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
    if (!panel.Text().empty()) {
        std::wstring caption = FromCp1252(panel.Text());
        HGDIOBJ oldFont = SelectObject(dc, gdi_.FontFor(panel.GetFont(), dpi_));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ResolveColour(panel.GetFont().colour, GetSysColor(COLOR_WINDOWTEXT)));
        DrawTextW(dc, caption.c_str(), int(caption.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
    }
}

// ---- forms

namespace {
// Every window carries its control's name as a global atom, so tools outside
// the process (the end-to-end tests' wintool) can find controls by name.
constexpr wchar_t NameProperty[] = L"SnaporaName";

void TagWithName(HWND window, const std::string& name) {
    if (ATOM atom = GlobalAddAtomW(FromCp1252(name).c_str()))
        SetPropW(window, NameProperty, reinterpret_cast<HANDLE>(ULONG_PTR(atom)));
}

void UntagName(HWND window) {
    if (!window || !IsWindow(window)) return;
    if (HANDLE atom = RemovePropW(window, NameProperty)) GlobalDeleteAtom(ATOM(ULONG_PTR(atom)));
}
}  // namespace

Win32FormPeer::Win32FormPeer(Form& form, const NativeClasses& classes, HWND owner, GdiCache& gdi)
    : form_(form), gdi_(gdi), dpi_(dpi::System()) {
    if (!form.CentreOnScreen) dpi_ = dpi::OfPoint(POINT{form.Left(), form.Top()});
    RECT place = Placement();
    window_ = CreateWindowExW(ExStyle(), classes.form, FromCp1252(form.Caption()).c_str(), Style(), place.left,
                              place.top, place.right - place.left, place.bottom - place.top, owner, nullptr,
                              classes.instance, classes.createParam);
    if (!window_) throw std::runtime_error("Fenster konnte nicht erzeugt werden.");
    // The monitor the window landed on decides, before any control exists.
    if (int actual = dpi::OfWindow(window_); actual != dpi_) {
        dpi_ = actual;
        place = Placement();
        SetWindowPos(window_, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    try {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                   classes.instance, nullptr);
        if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
        CreateChildren(form, window_, classes);
    } catch (...) {
        for (auto& peer : controls_) peer->Model().AttachPeer(nullptr);
        DestroyWindow(window_);
        throw;
    }
    form.AttachPeer(this);
    TagWithName(window_, form.Name());
    NativeBoundsChanged();
}

Win32FormPeer::~Win32FormPeer() {
    for (auto& peer : controls_) {
        UntagName(peer->Handle() ? reinterpret_cast<HWND>(peer->Handle()) : nullptr);
        peer->Model().AttachPeer(nullptr);
    }
    UntagName(window_);
    form_.AttachPeer(nullptr);
    // Children and the owned tooltip go with the window.
    if (IsWindow(window_)) DestroyWindow(window_);
}

DWORD Win32FormPeer::Style() const {
    DWORD boxes = (form_.MinimizeBox ? WS_MINIMIZEBOX : 0) | (form_.MaximizeBox ? WS_MAXIMIZEBOX : 0);
    DWORD style = 0;
    switch (form_.Border) {
        case BorderStyle::Single:
            style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_BORDER | boxes;
            break;
        case BorderStyle::Dialog:
            style = WS_CAPTION | WS_SYSMENU;
            break;
        case BorderStyle::Sizeable:
            style = (WS_OVERLAPPEDWINDOW & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) | boxes;
            break;
        case BorderStyle::None:
            style = WS_POPUP;
            break;
    }
    return style | WS_CLIPCHILDREN;
}

DWORD Win32FormPeer::ExStyle() const {
    DWORD ex = WS_EX_CONTROLPARENT;
    if (form_.Border == BorderStyle::Dialog) ex |= WS_EX_DLGMODALFRAME;
    if (form_.ToolWindow) ex |= WS_EX_TOOLWINDOW;
    return ex;
}

RECT Win32FormPeer::Placement() const {
    if (form_.OuterSizeWanted()) {
        Rect r = form_.Bounds();
        return {r.left, r.top, r.right, r.bottom};
    }
    // The model's client size (in model units) decides the size; its Left/Top
    // (screen pixels) the position.
    RECT frame{0, 0, dpi::ToNative(form_.ClientWidth(), dpi_), dpi::ToNative(form_.ClientHeight(), dpi_)};
    dpi::AdjustWindowRect(frame, Style(), ExStyle(), dpi_);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    int x = form_.Left();
    int y = form_.Top();
    // Centred until first shown, so sizes set in OnCreate still end up centred.
    if (form_.CentreOnScreen && !shownOnce_) {
        x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    return {x, y, x + width, y + height};
}

void Win32FormPeer::CreateChildren(Container& parent, HWND parentWindow, const NativeClasses& classes) {
    int tabs = 0;
    for (Control* control : parent.Children()) {
        Recipe recipe = RecipeFor(*control, classes);
        Kind kind = control->GetKind();
        HWND window =
            CreateWindowExW(recipe.exStyle, recipe.windowClass, FromCp1252(control->Text()).c_str(), recipe.style, 0, 0,
                            0, 0, parentWindow, reinterpret_cast<HMENU>(INT_PTR(nextId_++)), classes.instance,
                            IsContainer(kind) ? classes.createParam : nullptr);
        if (!window) throw std::runtime_error("Steuerelement " + control->Name() + " konnte nicht erzeugt werden.");
        TagWithName(window, control->Name());
        controls_.push_back(std::make_unique<Win32ControlPeer>(*control, window, gdi_, dpi_));
        Win32ControlPeer& made = *controls_.back();
        control->AttachPeer(&made);

        // The tab goes in first: the sheet's place is the display area below the tabs.
        if (IsSheetOfPageControl(*control)) SetTabCaption(parentWindow, tabs++, control->Text(), true);
        if (kind == Kind::SpinEdit) {
            DWORD style = WS_CHILD | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
            if (control->Visible()) style |= WS_VISIBLE;
            if (!control->Enabled()) style |= WS_DISABLED;
            HWND buttons = CreateWindowExW(0, UPDOWN_CLASSW, nullptr, style, 0, 0, 0, 0, parentWindow,
                                           reinterpret_cast<HMENU>(INT_PTR(nextId_++)), classes.instance, nullptr);
            if (!buttons) throw std::runtime_error("Steuerelement " + control->Name() + " konnte nicht erzeugt werden.");
            // The model owns the value; the buttons only report a direction. A range that
            // is not inverted makes "up" a positive delta, and a position in its middle
            // leaves room to report either direction.
            SendMessageW(buttons, UDM_SETRANGE32, 0, 1000);
            SendMessageW(buttons, UDM_SETPOS32, 0, 500);
            made.SetButtons(buttons);
            AddTip(buttons);
        }

        if (kind == Kind::UpDown) {
            // As with the spin edit: the model keeps the number, the buttons report a direction.
            SendMessageW(window, UDM_SETRANGE32, 0, 1000);
            SendMessageW(window, UDM_SETPOS32, 0, 500);
            if (TEdit* buddy = static_cast<TUpDown&>(*control).Associate; buddy && buddy->Handle())
                SendMessageW(window, UDM_SETBUDDY, WPARAM(buddy->Handle()), 0);  // its arrow keys step too
        }
        made.Update(Change::Bounds);
        made.Update(Change::Font);
        made.Update(Change::Items);
        made.MirrorState();
        AddTip(window);
        // Toolbar buttons show their hints while greyed too, as Windows toolbars do.
        if (kind == Kind::ToolButton) AddParentTip(made);
        if (HoldsChildren(kind)) CreateChildren(static_cast<Container&>(*control), window, classes);
        if (kind == Kind::PageControl) {
            made.Update(Change::Bounds);  // the sheets again, now that every tab is in
            made.MirrorState();
        }
    }
}

void Win32FormPeer::AddTip(HWND control) {
    if (!tooltip_) return;
    // The text is asked for when the tip shows, so hints set later still appear.
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // older common controls reject the larger size
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32FormPeer::AddParentTip(Win32ControlPeer& control) {
    if (!tooltip_) return;
    TTTOOLINFOW tool = ParentTool(control.Window());
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    control.SetParentTip(tooltip_);
}

const wchar_t* Win32FormPeer::TipText(const Control& control) {
    tipText_ = FromCp1252(control.Hint);
    return tipText_.c_str();
}

void Win32FormPeer::Update(Change what) {
    switch (what) {
        case Change::Bounds:
            if (!takingNativeBounds_) ApplyBounds();
            break;
        case Change::Text:
            SetWindowTextW(window_, FromCp1252(form_.Caption()).c_str());
            break;
        case Change::Visible:
            if (form_.Visible()) {
                ApplyBounds();  // a centred form gets its final place now
                shownOnce_ = true;
                ShowWindow(window_, form_.GetWindowState() == WindowState::Minimized ? SW_SHOWMINNOACTIVE : SW_SHOW);
            } else {
                ShowWindow(window_, SW_HIDE);
            }
            break;
        case Change::Enabled:
            EnableWindow(window_, form_.Enabled());
            break;
        case Change::Colour:
            RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
            break;
        case Change::State:
            if (form_.GetWindowState() == WindowState::Minimized) {
                if (IsWindowVisible(window_) && !IsIconic(window_)) ShowWindow(window_, SW_MINIMIZE);
            } else if (IsIconic(window_)) {
                ShowWindow(window_, SW_RESTORE);
            }
            break;
        case Change::Focus:
            if (IsWindowVisible(window_)) ::SetFocus(window_);
            break;
        case Change::Font:
        case Change::Items:
            break;
    }
}

void Win32FormPeer::ApplyBounds() {
    if (IsIconic(window_)) return;
    RECT place = Placement();
    SetWindowPos(window_, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    NativeBoundsChanged();
}

void Win32FormPeer::KeepDefaultButtonLook() {
    for (auto& peer : controls_)
        if (peer->Model().GetKind() == Kind::Button) peer->Update(Change::State);
}

void Win32FormPeer::BringToFront() {
    if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
    SetForegroundWindow(window_);
}

void Win32FormPeer::PaintBackground(HDC dc) {
    RECT r;
    GetClientRect(window_, &r);
    FillRect(dc, &r, gdi_.BrushFor(ResolveColour(form_.Color(), GetSysColor(COLOR_BTNFACE))));
}

void Win32FormPeer::NativeBoundsChanged() {
    if (IsIconic(window_) || rescaling_) return;  // a minimized window's rectangle is no place to keep
    RECT outer, client;
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &client);
    FlagScope taking(takingNativeBounds_);
    form_.SetBounds(outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top);
    int width = dpi::ToModel(client.right, dpi_), height = dpi::ToModel(client.bottom, dpi_);
    // A size that maps back to the model's own needs no change (rounding at odd scales).
    if (dpi::ToNative(form_.ClientWidth(), dpi_) == client.right) width = form_.ClientWidth();
    if (dpi::ToNative(form_.ClientHeight(), dpi_) == client.bottom) height = form_.ClientHeight();
    if (width != form_.ClientWidth() || height != form_.ClientHeight()) form_.SetClientSize(width, height);
}

void Win32FormPeer::DpiChanged(int dpi, const RECT& suggested) {
    if (dpi <= 0 || dpi == dpi_) return;
    dpi_ = dpi;
    const int width = dpi::ToNative(form_.ClientWidth(), dpi_), height = dpi::ToNative(form_.ClientHeight(), dpi_);
    RECT frame{0, 0, width, height};
    dpi::AdjustWindowRect(frame, Style(), ExStyle(), dpi_);
    {
        FlagScope taking(rescaling_);  // the model's sizes stay as they are meanwhile
        SetWindowPos(window_, nullptr, suggested.left, suggested.top, frame.right - frame.left,
                     frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
        // The frame may still be measured at the old DPI: let the client area decide.
        RECT client{}, outer{};
        GetClientRect(window_, &client);
        GetWindowRect(window_, &outer);
        int dx = width - client.right, dy = height - client.bottom;
        if (dx != 0 || dy != 0)
            SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (auto& peer : controls_) {
        peer->Update(Change::Font);
        peer->Update(Change::Bounds);
        peer->MirrorState();
    }
    NativeBoundsChanged();
    RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
}

SIZE Win32FormPeer::MinimumTrackSize() const {
    Size client = form_.MinimumClientSize;
    if (client.width <= 0 && client.height <= 0) return {0, 0};
    // The system tracks the outer size: add the frame and caption of this window's style.
    RECT r{0, 0, dpi::ToNative(client.width, dpi_), dpi::ToNative(client.height, dpi_)};
    dpi::AdjustWindowRect(r, DWORD(GetWindowLongW(window_, GWL_STYLE)), DWORD(GetWindowLongW(window_, GWL_EXSTYLE)),
                          dpi_);
    return {client.width > 0 ? r.right - r.left : 0, client.height > 0 ? r.bottom - r.top : 0};
}

}  // namespace snapora
