#pragma once
// The native windows behind the widget model: creating them for a form and
// mirroring model changes into them. Turning native notifications back into
// model calls is the backend's job (Win32Backend.cpp).

#include <windows.h>
// The model has a MessageBox of its own; the macro would rename it.
#undef MessageBox

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "imaging/Bitmap.h"
#include "ui/Control.h"
#include "ui/Form.h"

namespace snapora {

// Model texts are Windows-1252 bytes; the wide API wants UTF-16.
namespace win32text {
std::wstring FromCp1252(std::string_view text);
std::string ToCp1252(std::wstring_view text);
std::string WindowText(HWND window);
}  // namespace win32text

struct GdiObjectFree {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
struct MenuFree {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectFree>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectFree>;
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuFree>;

// A model colour as GDI wants it; clDefault and clNone give the fallback.
COLORREF ResolveColour(Colour colour, COLORREF fallback);
// What shows behind a control: the nearest set colour of it or its parents.
COLORREF BackgroundOf(const Control& control);

// Fonts and brushes live as long as the backend, shared by all windows.
class GdiCache {
public:
    // A font as the model describes it, measured for a window of that DPI.
    HFONT FontFor(const Font& font, int dpi);
    HBRUSH BrushFor(COLORREF colour);
    // The program icon at a size in pixels.
    HICON ProgramIcon(HINSTANCE instance, int size);

private:
    std::map<std::tuple<std::string, int, int, bool, int>, UniqueFont> fonts_;
    std::map<COLORREF, UniqueBrush> brushes_;
    std::map<int, HICON> programIcons_;  // shared resource icons, never destroyed
};

// What the backend hands the peers for making windows of its own classes.
struct NativeClasses {
    HINSTANCE instance = nullptr;
    const wchar_t* form = nullptr;
    const wchar_t* container = nullptr;
    void* createParam = nullptr;  // reaches the own classes' window procedures
};

class Win32GifHost;

class Win32ControlPeer final : public ControlPeer {
public:
    // dpi: the form's, which follows the form from monitor to monitor.
    Win32ControlPeer(Control& control, HWND window, GdiCache& gdi, const int& dpi);
    ~Win32ControlPeer() override;
    Win32ControlPeer(const Win32ControlPeer&) = delete;
    Win32ControlPeer& operator=(const Win32ControlPeer&) = delete;
    void Update(Change what) override;
    NativeWindow Handle() const override { return reinterpret_cast<NativeWindow>(window_); }

    HWND Window() const { return window_; }
    Control& Model() const { return control_; }
    int Dpi() const { return dpi_; }
    // A spin edit's up-down buttons beside its edit window; nullptr for other kinds.
    HWND Buttons() const { return buttons_; }
    void SetButtons(HWND buttons) { buttons_ = buttons; }
    // True while the peer itself writes the native text, so EN_CHANGE isn't taken for typing.
    bool WritingText() const { return writingText_; }
    // A disabled window gets no mouse input, its parent does: the hint then
    // shows through a tool of the parent's over the control's area, kept in
    // place here.
    void SetParentTip(HWND tooltip) { parentTip_ = tooltip; }

    // The kind's own state: check mark, progress, default look, read-only.
    void MirrorState();
    // Answers WM_CTLCOLOR*: prepares the dc and returns the brush, or nullptr for the default.
    HBRUSH Colours(UINT message, HDC dc);
    // Paints an owner-drawn image.
    void Draw(const DRAWITEMSTRUCT& item);
    void DrawPixels(HDC dc, const Bitmap& picture, int x = 0, int y = 0);
    // A picture at the form's scale: one model unit is dpi/96 pixels.
    void DrawScaled(HDC dc, const Bitmap& picture);
    // Fills a container's background and its bevel or group frame.
    void PaintBackground(HDC dc);

private:
    RECT NativeBounds() const;
    void MirrorScrollBars();
    void MirrorStatusPanels();
    void ShowTextFromItsStart();
    void DrawToolButton(const DRAWITEMSTRUCT& item);
    void PaintGroupFrame(HDC dc, const RECT& area);
    void LayOutSheets();

    Control& control_;
    HWND window_;
    HWND buttons_ = nullptr;
    GdiCache& gdi_;
    const int& dpi_;
    bool writingText_ = false;
    HWND parentTip_ = nullptr;
    std::unique_ptr<Win32GifHost> gifHost_;  // picture controls only
};

// A page control's tabs are its TTabSheet children in order; other children have no tab.
int TabOfPage(const Container& pageControl, int childIndex);  // -1 for no tab
int PageOfTab(const Container& pageControl, int tabIndex);    // -1 for no such tab

class Win32FormPeer final : public FormPeer {
public:
    // Creates the hidden top-level window and the windows of all controls.
    Win32FormPeer(Form& form, const NativeClasses& classes, HWND owner, GdiCache& gdi);
    // Detaches the model and destroys the windows.
    ~Win32FormPeer() override;
    Win32FormPeer(const Win32FormPeer&) = delete;
    Win32FormPeer& operator=(const Win32FormPeer&) = delete;

    void Update(Change what) override;
    NativeWindow Handle() const override { return reinterpret_cast<NativeWindow>(window_); }
    void BringToFront() override;

    HWND Window() const { return window_; }
    Form& Model() const { return form_; }
    const std::vector<std::unique_ptr<Win32ControlPeer>>& Controls() const { return controls_; }

    void PaintBackground(HDC dc);
    // The tooltip's text for a control, kept alive until the next request.
    const wchar_t* TipText(const Control& control);
    // Takes the window's position and client size into the model after the user moved it.
    void NativeBoundsChanged();
    // Dialog navigation moves the default look to a focused button, but Enter
    // presses the model's default button; the look follows the model.
    void KeepDefaultButtonLook();
    // Smallest window size while the user drags the frame; 0 where there is none.
    SIZE MinimumTrackSize() const;
    int Dpi() const { return dpi_; }
    // WM_DPICHANGED: the form moved to a monitor of another DPI. Every
    // control takes its place and font at the new scale; the window keeps
    // its client size in model units, placed where the system suggests.
    void DpiChanged(int dpi, const RECT& suggested);

private:
    DWORD Style() const;
    DWORD ExStyle() const;
    RECT Placement() const;
    void CreateChildren(Container& parent, HWND parentWindow, const NativeClasses& classes);
    void AddTip(HWND control);
    void AddParentTip(Win32ControlPeer& control);
    void ApplyBounds();

    Form& form_;
    GdiCache& gdi_;
    int dpi_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    std::vector<std::unique_ptr<Win32ControlPeer>> controls_;
    std::wstring tipText_;
    int nextId_ = 1000;
    bool takingNativeBounds_ = false;
    bool rescaling_ = false;  // the window is being fitted to a new DPI
    bool shownOnce_ = false;
};

}  // namespace snapora
