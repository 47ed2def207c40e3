#include "ui/win32/Win32Backend.h"

#include "ui/win32/Dpi.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "platform/win32/Win32Process.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Menu.h"
#include "ui/ScrollBox.h"
#include "ui/ToolBar.h"
#include "ui/win32/Win32GifSurface.h"

namespace snapora {

namespace {

constexpr wchar_t kFormClass[] = L"SnaporaForm";
constexpr wchar_t kContainerClass[] = L"SnaporaContainer";
constexpr wchar_t kSyncClass[] = L"SnaporaSync";
constexpr UINT WM_RUN_JOB = WM_APP + 1;
constexpr UINT WM_RUN_POSTED = WM_APP + 2;  // lParam: a std::function<void()> to run and delete
constexpr const char* kEnding = "program is ending";

using win32text::FromCp1252;
using Kind = Control::Kind;

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HICON icon, HICON smallIcon,
                         HBRUSH background, UINT style = 0) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("Fensterklasse konnte nicht registriert werden.");
}

// Our own windows carry the backend, handed in at creation.
void KeepCreateParam(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
}

template <class T>
T* UserData(HWND window) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Key events carry the generic modifier codes, whichever side's key it was.
std::uint16_t GenericKey(WPARAM key) {
    switch (key) {
        case VK_LSHIFT:
        case VK_RSHIFT:
            return VK_SHIFT;
        case VK_LCONTROL:
        case VK_RCONTROL:
            return VK_CONTROL;
        case VK_LMENU:
        case VK_RMENU:
            return VK_MENU;
        default:
            return std::uint16_t(key);
    }
}

// Releasing one of these opens the window menu when the default procedure saw it pressed.
bool IsMenuKey(std::uint16_t key) { return key == VK_MENU || key == VK_F10; }

unsigned CurrentShiftState() {
    unsigned shift = ssNone;
    if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
    if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
    if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
    return shift;
}

// Other windows are disabled while a modal one shows, and enabled again after.
class DisabledWindows {
public:
    void Disable(HWND window) {
        if (!IsWindowEnabled(window)) return;  // someone else's to enable again
        EnableWindow(window, FALSE);
        windows_.push_back(window);
    }
    void Restore() {
        for (HWND window : windows_)
            if (IsWindow(window)) EnableWindow(window, TRUE);
        windows_.clear();
    }
    ~DisabledWindows() { Restore(); }

private:
    std::vector<HWND> windows_;
};

}  // namespace

struct Win32Backend::SyncJob {
    const std::function<void()>& fn;
    bool done = false;
    std::exception_ptr error;
};

template <class F>
void Win32Backend::Guarded(F&& call) {
    try {
        call();
    } catch (const std::exception& error) {
        Report(error);
    } catch (...) {
        Report(std::runtime_error("Unbekannter Fehler."));
    }
}

void Win32Backend::Report(const std::exception& error) {
    try {
        if (app_) {
            app_->ShowException(error);
            return;
        }
        MessageBoxW(MainWindow(), FromCp1252(error.what()).c_str(), L"Snapora", MB_OK | MB_ICONERROR);
    } catch (...) {
        // Nothing sensible is left to do; an exception must not cross a window procedure.
    }
}

Win32Backend::Win32Backend(HINSTANCE instance, Application* app)
    : instance_(instance), app_(app), uiThread_(GetCurrentThreadId()) {
    INITCOMMONCONTROLSEX icc{
        sizeof(icc), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);

    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    auto smallIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    RegisterWindowClass(instance, kFormClass, FormProc, icon, smallIcon, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // Containers paint their own background, in their model's colour.
    RegisterWindowClass(instance, kContainerClass, ContainerProc, nullptr, nullptr, nullptr, CS_DBLCLKS);
    RegisterWindowClass(instance, kSyncClass, SyncProc, nullptr, nullptr, nullptr);
    classes_ = {instance, kFormClass, kContainerClass, this};

    syncWindow_ = CreateWindowExW(0, kSyncClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
    if (!syncWindow_) throw std::runtime_error("Nachrichtenfenster konnte nicht erzeugt werden.");
}

Win32Backend::~Win32Backend() {
    MarkTerminated();  // a worker still waiting for the UI thread gets its answer
    formWindows_.clear();
    controlWindows_.clear();
    forms_.clear();
    DestroyWindow(syncWindow_);
    UnregisterClassW(kFormClass, instance_);
    UnregisterClassW(kContainerClass, instance_);
    UnregisterClassW(kSyncClass, instance_);
}

// ---- forms

void Win32Backend::FormCreated(Form& form) {
    if (!firstForm_) firstForm_ = &form;
    // Other windows belong to the main window: they stay in front of it and
    // have no task bar button of their own.
    Form* main = app_ && app_->MainForm() ? app_->MainForm() : firstForm_;
    HWND owner = main != &form ? WindowOf(*main) : nullptr;

    auto peer = std::make_unique<Win32FormPeer>(form, classes_, owner, gdi_);
    formWindows_[peer->Window()] = peer.get();
    AddControlWindows(*peer);
    forms_[&form] = std::move(peer);
}

void Win32Backend::AddControlWindows(Win32FormPeer& peer) {
    for (const auto& control : peer.Controls())
        for (HWND window : {control->Window(), control->Buttons()}) {
            if (!window) continue;
            controlWindows_[window] = control.get();
            SetWindowSubclass(window, FocusWatch, 1, reinterpret_cast<DWORD_PTR>(this));
        }
}

void Win32Backend::RemoveControlWindows(Win32FormPeer& peer) {
    for (const auto& control : peer.Controls()) {
        controlWindows_.erase(control->Window());
        if (control->Buttons()) controlWindows_.erase(control->Buttons());
    }
}

void Win32Backend::FormDestroyed(Form& form) {
    auto it = forms_.find(&form);
    if (it == forms_.end()) {
        form.AttachPeer(nullptr);
        return;
    }
    std::unique_ptr<Win32FormPeer> peer = std::move(it->second);
    forms_.erase(it);
    // Forgotten first, so messages sent while the windows go reach no dead peer.
    formWindows_.erase(peer->Window());
    RemoveControlWindows(*peer);
    if (lastActiveForm_ == peer->Window()) lastActiveForm_ = nullptr;
    lastFocus_ = nullptr;
    peer.reset();
}

Win32FormPeer* Win32Backend::FormPeerOf(HWND window) const {
    auto it = formWindows_.find(window);
    return it == formWindows_.end() ? nullptr : it->second;
}

Win32ControlPeer* Win32Backend::ControlPeerOf(HWND window) const {
    auto it = controlWindows_.find(window);
    return it == controlWindows_.end() ? nullptr : it->second;
}

HWND Win32Backend::MainWindow() const {
    Form* main = app_ && app_->MainForm() ? app_->MainForm() : firstForm_;
    return main ? WindowOf(*main) : nullptr;
}

// ---- window procedures

LRESULT CALLBACK Win32Backend::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeepCreateParam(window, message, lParam);
    auto* backend = UserData<Win32Backend>(window);
    Win32FormPeer* peer = backend ? backend->FormPeerOf(window) : nullptr;
    if (!peer) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return backend->FormMessage(*peer, message, wParam, lParam);
    } catch (const std::exception& error) {
        backend->Report(error);
    } catch (...) {
        backend->Report(std::runtime_error("Unbekannter Fehler."));
    }
    return 0;
}

LRESULT CALLBACK Win32Backend::ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeepCreateParam(window, message, lParam);
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            // All control notifications are handled in one place, the form's procedure.
            return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);
        case WM_QUERYNEWPALETTE:
            if (auto* backend = UserData<Win32Backend>(window))
                if (Win32ControlPeer* peer = backend->ControlPeerOf(window))
                    return RealizePicturePalettes(static_cast<Container&>(peer->Model()));
            break;
        case WM_ERASEBKGND:
            if (auto* backend = UserData<Win32Backend>(window))
                if (Win32ControlPeer* peer = backend->ControlPeerOf(window)) {
                    backend->Guarded([&] { peer->PaintBackground(reinterpret_cast<HDC>(wParam)); });
                    return 1;
                }
            break;
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (lParam) return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);  // a control's
            if (auto* backend = UserData<Win32Backend>(window))
                if (Win32ControlPeer* peer = backend->ControlPeerOf(window);
                    peer && peer->Model().GetKind() == Kind::ScrollBox) {
                    backend->Guarded([&] { backend->ScrollBoxScrolled(*peer, message == WM_HSCROLL, LOWORD(wParam)); });
                    return 0;
                }
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32Backend::FocusWatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR backend) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, FocusWatch, id);
        return DefSubclassProc(window, message, wParam, lParam);
    }
    auto* self = reinterpret_cast<Win32Backend*>(backend);
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        if (Win32ControlPeer* peer = self->ControlPeerOf(window); peer && peer->Window() == window)
            if (self->MouseMessage(*peer, message, wParam, lParam)) return 0;
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    // At once rather than after the message: a mnemonic focuses and clicks a button
    // within one message, and the control left behind must have had its OnExit first.
    if (message == WM_SETFOCUS && GetFocus() == window) self->TrackFocus(window);
    // An edit tells nobody about clicks; its model hears of them here, after the
    // control has placed the caret, so a handler may select the text.
    if (message == WM_LBUTTONUP)
        if (Win32ControlPeer* peer = self->ControlPeerOf(window); peer && peer->Model().GetKind() == Kind::Edit)
            self->Guarded([&] { peer->Model().NativeClick(); });
    return result;
}

// Mouse input for the model: presses, moves and releases of controls that
// listen, clicks and double clicks of panels, and tool buttons that never take
// the focus. True when the message is used up.
bool Win32Backend::MouseMessage(Win32ControlPeer& peer, UINT message, WPARAM wParam, LPARAM lParam) {
    Control& control = peer.Model();
    HWND window = peer.Window();
    int nativeX = GET_X_LPARAM(lParam), nativeY = GET_Y_LPARAM(lParam);
    // The model hears of the mouse in its own units.
    int x = dpi::ToModel(nativeX, peer.Dpi()), y = dpi::ToModel(nativeY, peer.Dpi());
    unsigned shift = CurrentShiftState();
    auto buttonOf = [](UINT m) {
        return m == WM_RBUTTONDOWN || m == WM_RBUTTONUP || m == WM_RBUTTONDBLCLK   ? MouseButton::Right
               : m == WM_MBUTTONDOWN || m == WM_MBUTTONUP || m == WM_MBUTTONDBLCLK ? MouseButton::Middle
                                                                                   : MouseButton::Left;
    };
    bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN ||
                message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK || message == WM_MBUTTONDBLCLK;
    bool up = message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP;

    if (control.GetKind() == Kind::ToolButton) {
        if (static_cast<TToolButton&>(control).Style == ToolButtonStyle::Separator) return false;
        // Pressed and released like a button, without taking the focus from the picture.
        if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
            SendMessageW(window, BM_SETSTATE, TRUE, 0);
            SetCapture(window);
            return true;
        }
        if (message == WM_LBUTTONUP && GetCapture() == window) {
            ReleaseCapture();
            SendMessageW(window, BM_SETSTATE, FALSE, 0);
            RECT r;
            GetClientRect(window, &r);
            if (PtInRect(&r, POINT{nativeX, nativeY})) Guarded([&] { control.NativeClick(); });
            return true;
        }
        return message != WM_MOUSEMOVE;
    }

    bool panel = control.GetKind() == Kind::Panel || control.GetKind() == Kind::ScrollBox;
    if (!control.WantsMouse() && !panel) return false;
    if (down) {
        if (control.GetKind() == Kind::ScrollBox) SetFocus(window);
        SetCapture(window);  // the moves and the release come here, also from outside
        // The second press of a double click makes no click of its own.
        pressed_ = message == WM_LBUTTONDBLCLK ? nullptr : window;
        if (message == WM_LBUTTONDBLCLK) Guarded([&] { control.NativeDoubleClick(); });
        if (control.OnMouseDown) Guarded([&] { control.OnMouseDown(buttonOf(message), shift, x, y); });
    } else if (message == WM_MOUSEMOVE) {
        if (control.OnMouseMove) Guarded([&] { control.OnMouseMove(shift, x, y); });
    } else if (up) {
        bool wasPressed = pressed_ == window;
        pressed_ = nullptr;
        if (GetCapture() == window) ReleaseCapture();
        RECT r;
        GetClientRect(window, &r);
        // Statics report their clicks themselves; panels and views are clicked here.
        if (panel && wasPressed && message == WM_LBUTTONUP && PtInRect(&r, POINT{nativeX, nativeY}))
            Guarded([&] { control.NativeClick(); });
        if (control.OnMouseUp) Guarded([&] { control.OnMouseUp(buttonOf(message), shift, x, y); });
    }
    return false;  // the control's own procedure sees it too
}

void Win32Backend::ScrollBoxScrolled(Win32ControlPeer& peer, bool horizontal, unsigned request) {
    auto& box = static_cast<TScrollBox&>(peer.Model());
    SCROLLINFO info{sizeof info, SIF_ALL};
    GetScrollInfo(peer.Window(), horizontal ? SB_HORZ : SB_VERT, &info);
    // The bar counts pixels; the model's position is in its own units.
    int scale = peer.Dpi();
    int position = horizontal ? box.Position().x : box.Position().y;
    int page = dpi::ToModel(int(info.nPage), scale), line = 16;
    switch (request) {
        case SB_LINELEFT: position -= line; break;
        case SB_LINERIGHT: position += line; break;
        case SB_PAGELEFT: position -= page; break;
        case SB_PAGERIGHT: position += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: position = dpi::ToModel(info.nTrackPos, scale); break;  // follows the thumb
        case SB_LEFT: position = 0; break;
        case SB_RIGHT: position = dpi::ToModel(info.nMax, scale); break;
        default: return;
    }
    if (horizontal)
        box.SetHorzPosition(position);
    else
        box.SetVertPosition(position);
}

HCURSOR Win32Backend::CursorFor(Cursor cursor) const {
    switch (cursor) {
        case Cursor::HandPoint: return LoadCursorW(nullptr, IDC_HAND);
        case Cursor::Cross: return LoadCursorW(nullptr, IDC_CROSS);
        case Cursor::IBeam: return LoadCursorW(nullptr, IDC_IBEAM);
        case Cursor::Default: return nullptr;
        default: {
            auto it = cursors_.find(cursor);
            return it != cursors_.end() && it->second ? it->second : LoadCursorW(nullptr, IDC_ARROW);
        }
    }
}

void Win32Backend::RegisterCursor(Cursor cursor, const std::string& resourceName) {
    cursors_[cursor] = LoadProgramCursor(resourceName);  // shared: the system owns it
}

LRESULT CALLBACK Win32Backend::SyncProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeepCreateParam(window, message, lParam);
    if (message == WM_RUN_JOB) {
        if (auto* backend = UserData<Win32Backend>(window)) backend->RunJob(std::uint64_t(wParam));
        return 0;
    }
    if (message == WM_RUN_POSTED) {
        std::unique_ptr<std::function<void()>> job(reinterpret_cast<std::function<void()>*>(lParam));
        auto* backend = UserData<Win32Backend>(window);
        if (backend && !backend->terminated_) backend->Guarded([&] { (*job)(); });
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32Backend::FormMessage(Win32FormPeer& peer, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = peer.Window();
    Form& form = peer.Model();
    switch (message) {
        case WM_COMMAND:
            if (Win32ControlPeer* control = ControlPeerOf(reinterpret_cast<HWND>(lParam))) {
                Command(*control, HIWORD(wParam));
                return 0;
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (LRESULT answer = 0; Notify(*header, lParam, answer)) return answer;
            if (header->code == TTN_GETDISPINFOW) {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
                if (Win32ControlPeer* control = ControlPeerOf(reinterpret_cast<HWND>(header->idFrom)))
                    info->lpszText = const_cast<wchar_t*>(peer.TipText(control->Model()));
                return 0;
            }
            break;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            if (Win32ControlPeer* control = ControlPeerOf(reinterpret_cast<HWND>(lParam)))
                if (HBRUSH brush = control->Colours(message, reinterpret_cast<HDC>(wParam)))
                    return reinterpret_cast<LRESULT>(brush);
            break;
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (item->CtlType == ODT_STATIC || item->CtlType == ODT_BUTTON)
                if (Win32ControlPeer* control = ControlPeerOf(item->hwndItem)) {
                    control->Draw(*item);
                    return TRUE;
                }
            break;
        }
        case WM_ERASEBKGND:
            peer.PaintBackground(reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_QUERYNEWPALETTE:
            return RealizePicturePalettes(form);
        case DM_GETDEFID:
            // Dialog navigation asks which button Enter presses: the model's default one, if usable.
            if (TButton* button = form.DefaultButton(); button && button->Showing() && button->Enabled())
                if (HWND buttonWindow = WindowOf(*button)) return MAKELRESULT(GetDlgCtrlID(buttonWindow), DC_HASDEFID);
            return 0;
        case WM_SETCURSOR:
            // Child windows ask their parents first, so the form decides for all of them.
            if (LOWORD(lParam) == HTCLIENT)
                if (Win32ControlPeer* control = ControlPeerOf(reinterpret_cast<HWND>(wParam)))
                    if (HCURSOR cursor = CursorFor(control->Model().CursorShape)) {
                        SetCursor(cursor);
                        return TRUE;
                    }
            break;
        case WM_SIZE:
            Guarded([&] {
                if (wParam == SIZE_MINIMIZED) {
                    form.WindowStateChangedByUser(WindowState::Minimized);
                    if (app_ && app_->MainForm() == &form && app_->OnMinimize) app_->OnMinimize();
                } else if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
                    form.WindowStateChangedByUser(WindowState::Normal);
                    peer.NativeBoundsChanged();
                }
            });
            break;  // the form may want to know too
        case WM_MOVE:
            Guarded([&] { peer.NativeBoundsChanged(); });
            break;
        case WM_DPICHANGED:
            Guarded([&] { peer.DpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); });
            return 0;
        case WM_GETMINMAXINFO: {
            SIZE minimum = peer.MinimumTrackSize();
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            if (minimum.cx > 0) info->ptMinTrackSize.x = minimum.cx;
            if (minimum.cy > 0) info->ptMinTrackSize.y = minimum.cy;
            return 0;
        }
        case WM_CLOSE:
            // The model decides: it may refuse, hide the window or end the program.
            Guarded([&] { form.Close(); });
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                lastActiveForm_ = window;
                if (!HIWORD(wParam)) {  // not while minimized
                    Activated(peer);
                    return 0;
                }
            }
            break;
    }

    std::intptr_t result = 0;
    bool handled = false;
    Guarded([&] { handled = form.Dispatch(message, wParam, lParam, result); });
    return handled ? LRESULT(result) : DefWindowProcW(window, message, wParam, lParam);
}

void Win32Backend::Activated(Win32FormPeer& peer) {
    // Plain windows don't remember their focused child the way dialogs do.
    HWND target = nullptr;
    Control* active = peer.Model().ActiveControl();
    if (active && active != &peer.Model()) {
        HWND candidate = WindowOf(*active);
        if (candidate && IsWindowVisible(candidate) && IsWindowEnabled(candidate)) target = candidate;
    }
    if (!target) target = FirstTabStop(peer.Window());
    SetFocus(target ? target : peer.Window());
}

void Win32Backend::Command(Win32ControlPeer& peer, unsigned code) {
    Control& control = peer.Model();
    HWND window = peer.Window();
    Guarded([&] {
        switch (control.GetKind()) {
            case Kind::Button:
                if (code == BN_CLICKED) control.NativeClick();
                break;
            case Kind::CheckBox:
                if (code == BN_CLICKED)
                    static_cast<TCheckBox&>(control).SetChecked(SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED);
                break;
            case Kind::Edit:
                if (code == EN_CHANGE && !peer.WritingText())
                    static_cast<TEdit&>(control).TextChangedByUser(win32text::WindowText(window));
                break;
            case Kind::SpinEdit:
                if (code == EN_CHANGE && !peer.WritingText())
                    static_cast<TSpinEdit&>(control).TextChangedByUser(win32text::WindowText(window));
                break;
            case Kind::Label:
            case Kind::Image:
            case Kind::Picture:
                if (code == STN_CLICKED) control.NativeClick();
                if (code == STN_DBLCLK) control.NativeDoubleClick();
                break;
            case Kind::ListBox:
                if (code == LBN_SELCHANGE)
                    static_cast<TListBox&>(control).SelectedByUser(int(SendMessageW(window, LB_GETCURSEL, 0, 0)));
                break;
            case Kind::ComboBox:
                if (code == CBN_SELCHANGE)
                    static_cast<TComboBox&>(control).SelectedByUser(int(SendMessageW(window, CB_GETCURSEL, 0, 0)));
                break;
            default:
                break;
        }
    });
}

bool Win32Backend::Notify(const NMHDR& header, LPARAM lParam, LRESULT& result) {
    Win32ControlPeer* peer = ControlPeerOf(header.hwndFrom);
    if (!peer) return false;
    Control& control = peer->Model();
    if (header.code == UDN_DELTAPOS && control.GetKind() == Kind::UpDown) {
        int delta = reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta;
        if (delta != 0) Guarded([&] { static_cast<TUpDown&>(control).Step(delta > 0 ? 1 : -1); });
        result = 1;  // the model's position is the value
        return true;
    }
    if (header.code == UDN_DELTAPOS && control.GetKind() == Kind::SpinEdit) {
        // The range set at creation is not inverted, so the up button proposes a positive delta.
        int delta = reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta;
        // Held buttons repeat from a timer while they hold the mouse. Wine's also step
        // "down" from the timer that ends a key's pressed look when the pointer rests on them.
        bool strayRepeat = dispatching_ && dispatching_->message == WM_TIMER && dispatching_->hwnd == header.hwndFrom &&
                           GetCapture() != header.hwndFrom;
        if (delta != 0 && !strayRepeat) Guarded([&] { static_cast<TSpinEdit&>(control).Step(delta > 0 ? 1 : -1); });
        result = 1;  // the buttons keep their own position: the model's text is the value
        return true;
    }
    if (header.code == TCN_SELCHANGE && control.GetKind() == Kind::PageControl) {
        HWND strip = peer->Window();
        int tab = int(SendMessageW(strip, TCM_GETCURSEL, 0, 0));
        Guarded([&] {
            auto& pages = static_cast<TPageControl&>(control);
            if (int page = PageOfTab(pages, tab); page >= 0) pages.TabSelectedByUser(page);
        });
        // The model may have kept its page; the strip shows whatever it decided.
        if (Win32ControlPeer* still = ControlPeerOf(strip)) {
            still->MirrorState();
            KeepFocusVisible(strip);
        }
        result = 0;
        return true;
    }
    return false;
}

void Win32Backend::KeepFocusVisible(HWND tabStrip) {
    HWND focus = GetFocus();
    if (focus && IsChild(tabStrip, focus) && !IsWindowVisible(focus)) SetFocus(tabStrip);
}

// ---- message pump

void Win32Backend::Pump(MSG& msg) {
    bool handled = false;
    if (app_ && app_->OnMessage) Guarded([&] { app_->OnMessage(msg.message, msg.wParam, msg.lParam, handled); });
    if (!handled && !PreTranslate(msg)) {
        TranslateMessage(&msg);
        const MSG* outer = dispatching_;  // a modal loop may pump inside the dispatch
        dispatching_ = &msg;
        DispatchMessageW(&msg);
        dispatching_ = outer;
    }
    SyncFocus();
}

bool Win32Backend::PreTranslate(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd) return false;
    Win32FormPeer* peer = FormPeerOf(GetAncestor(msg.hwnd, GA_ROOT));
    if (!peer) return false;
    HWND formWindow = peer->Window();  // the model may destroy the peer
    if (KeyMessage(msg, peer->Model(), formWindow)) return true;
    if (!FormPeerOf(formWindow)) return true;  // the window went with the key
    // An edit that takes Enter as a character gets it, rather than the dialog manager.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN)
        if (Win32ControlPeer* focus = ControlPeerOf(GetFocus());
            focus && focus->Model().GetKind() == Kind::Edit && static_cast<TEdit&>(focus->Model()).WantsReturn)
            return false;
    // Tab and arrow navigation between the controls.
    return IsDialogMessageW(formWindow, &msg) != FALSE;
}

// The model sees every key before the focused control and dialog navigation do:
// the form's key preview, the control's key events, Enter and Escape.
bool Win32Backend::KeyMessage(MSG& msg, Form& form, HWND formWindow) {
    switch (msg.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            std::uint16_t key = GenericKey(msg.wParam);
            unsigned shift = CurrentShiftState();
            bool repeated = (msg.lParam & (1 << 30)) != 0;
            // A fresh Alt or F10 reaches the default procedure unless the model takes it,
            // so a swallowed earlier press no longer needs its release swallowed.
            if (IsMenuKey(key) && !repeated) swallowMenuKeyUp_ = false;
            bool consumed = false;
            Guarded([&] { consumed = form.KeyDown(key, shift); });
            if (consumed) {
                // The default procedure never saw this key, so releasing F10 or Alt
                // would still open the window menu.
                if (msg.message == WM_SYSKEYDOWN) swallowMenuKeyUp_ = true;
                return true;  // not translated either: no WM_CHAR follows a swallowed key
            }
            if (!FormPeerOf(formWindow)) return true;
            if (key == VK_TAB && !(shift & ssAlt)) {
                if ((shift & ssCtrl) && TurnPage((shift & ssShift) != 0)) return true;
                return TabNavigation(formWindow, msg, (shift & ssShift) != 0);
            }
            return false;
        }
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            std::uint16_t key = GenericKey(msg.wParam);
            bool consumed = false;
            Guarded([&] { consumed = form.KeyUp(key, CurrentShiftState()); });
            if (swallowMenuKeyUp_ && IsMenuKey(key)) {
                swallowMenuKeyUp_ = false;
                return true;
            }
            return consumed;
        }
        case WM_CHAR:
        case WM_SYSCHAR: {
            wchar_t wide = wchar_t(msg.wParam);
            char byte = 0;
            BOOL unmapped = FALSE;
            if (WideCharToMultiByte(1252, 0, &wide, 1, &byte, 1, nullptr, &unmapped) != 1 || unmapped) return false;
            char key = byte;
            bool consumed = false;
            Guarded([&] { consumed = form.KeyPress(key); });
            if (consumed) return true;
            if (key != byte) msg.wParam = FromCp1252(std::string_view(&key, 1))[0];  // the model swapped the key
            return false;
        }
        default:
            return false;
    }
}

bool Win32Backend::IsTabStrip(HWND window) const {
    Win32ControlPeer* peer = ControlPeerOf(window);
    return peer && peer->Window() == window && peer->Model().GetKind() == Kind::PageControl;
}

// The order of dialog navigation: visible windows depth first in z-order, into
// enabled control parents. A page control's tab strip is a control parent (its
// sheets are its children) and yet a stop of its own, before its sheet's controls.
void Win32Backend::CollectTabOrder(HWND parent, std::vector<TabOrderEntry>& order) const {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (!(style & WS_VISIBLE)) continue;
        bool enabled = !(style & WS_DISABLED);
        bool controlParent = (GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0;
        bool stop = enabled && (style & WS_TABSTOP) && (!controlParent || IsTabStrip(child));
        order.push_back({child, stop});
        if (controlParent && enabled) CollectTabOrder(child, order);
    }
}

HWND Win32Backend::FirstTabStop(HWND formWindow) const {
    std::vector<TabOrderEntry> order;
    CollectTabOrder(formWindow, order);
    auto first = std::find_if(order.begin(), order.end(), [](const TabOrderEntry& e) { return e.stop; });
    return first == order.end() ? nullptr : first->window;
}

bool Win32Backend::TabNavigation(HWND formWindow, const MSG& msg, bool backward) {
    std::vector<TabOrderEntry> order;
    CollectTabOrder(formWindow, order);
    // Without a tab strip the dialog manager's own order is the same.
    if (std::none_of(order.begin(), order.end(), [&](const TabOrderEntry& e) { return e.stop && IsTabStrip(e.window); }))
        return false;

    HWND focus = GetFocus();
    if (focus && focus != formWindow) {
        LRESULT code = SendMessageW(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
        if (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) return false;  // the control takes Tab itself
    }
    size_t count = order.size();
    size_t from = count;
    for (size_t i = 0; i < count; ++i)
        if (order[i].window == focus) from = i;
    if (from == count && focus && focus != formWindow) return false;  // a place unknown here: the dialog manager's

    HWND target = nullptr;
    for (size_t step = 1; step <= count && !target; ++step) {
        size_t i = from == count ? (backward ? count - step : step - 1)
                                 : (backward ? (from + count - step) % count : (from + step) % count);
        if (order[i].stop) target = order[i].window;
    }
    if (!target) return false;
    SendMessageW(formWindow, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    // As dialog navigation does: an edit reached by Tab has its text selected.
    if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(target, EM_SETSEL, 0, -1);
    SetFocus(target);
    return true;
}

bool Win32Backend::TurnPage(bool backward) {
    HWND focus = GetFocus();
    for (HWND window = focus; window && !FormPeerOf(window); window = GetParent(window)) {
        if (!IsTabStrip(window)) continue;
        auto& pages = static_cast<TPageControl&>(ControlPeerOf(window)->Model());
        int count = int(SendMessageW(window, TCM_GETITEMCOUNT, 0, 0));
        if (count < 1) return false;
        int tab = TabOfPage(pages, pages.ActivePageIndex());
        int next = tab < 0 ? 0 : (tab + (backward ? count - 1 : 1)) % count;
        bool wasInSheet = focus != window;
        Guarded([&] {
            if (int page = PageOfTab(pages, next); page >= 0) pages.TabSelectedByUser(page);
        });
        if (!ControlPeerOf(window)) return true;
        // From inside a sheet the focus goes on to the new sheet's first control.
        if (wasInSheet && !IsWindowVisible(GetFocus())) {
            std::vector<TabOrderEntry> order;
            CollectTabOrder(window, order);
            auto first = std::find_if(order.begin(), order.end(), [](const TabOrderEntry& e) { return e.stop; });
            SetFocus(first != order.end() ? first->window : window);
        }
        KeepFocusVisible(window);
        return true;
    }
    return false;
}

void Win32Backend::TrackFocus(HWND focus) {
    for (HWND window = focus; window && !FormPeerOf(window); window = GetParent(window)) {
        if (Win32ControlPeer* peer = ControlPeerOf(window)) {
            Control& control = peer->Model();
            Guarded([&] {
                if (Form* form = control.OwnerForm(); form && form->ActiveControl() != &control)
                    form->SetActiveControl(&control);
            });
            return;
        }
    }
}

void Win32Backend::SyncFocus() {
    // Focus changes arrive through WM_SETFOCUS of the control windows; this catches
    // whatever got past them, and keeps the default button's look.
    HWND focus = GetFocus();
    if (focus == lastFocus_) return;
    lastFocus_ = focus;
    if (Win32FormPeer* form = focus ? FormPeerOf(GetAncestor(focus, GA_ROOT)) : nullptr) form->KeepDefaultButtonLook();
    TrackFocus(focus);
}

void Win32Backend::QuitSeen(const MSG& msg) {
    MarkTerminated();
    PostQuitMessage(int(msg.wParam));  // for the loops further out
}

void Win32Backend::Run() {
    MSG msg;
    while (!terminated_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            MarkTerminated();
            break;
        }
        Pump(msg);
    }
}

void Win32Backend::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            QuitSeen(msg);
            return;
        }
        Pump(msg);
    }
}

void Win32Backend::Terminate() {
    MarkTerminated();
    PostThreadMessageW(uiThread_, WM_NULL, 0, 0);  // wakes a loop waiting in GetMessage
}

int Win32Backend::RunModal(Form& form) {
    auto it = forms_.find(&form);
    if (it == forms_.end()) throw std::logic_error("RunModal: the form has no window");
    HWND modal = it->second->Window();
    HWND previous = GetActiveWindow();

    DisabledWindows others;
    for (const auto& [window, peer] : formWindows_)
        if (window != modal) others.Disable(window);

    form.SetVisible(true);
    SetForegroundWindow(modal);
    MSG msg;
    while (form.GetModalResult() == mrNone && !terminated_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) QuitSeen(msg);
        if (got <= 0) break;
        Pump(msg);
    }

    // Enabled before the modal window hides, so activation goes back to the caller.
    others.Restore();
    if (previous && previous != modal && IsWindowVisible(previous) && IsWindowEnabled(previous))
        SetActiveWindow(previous);
    form.SetVisible(false);
    if (form.GetModalResult() == mrNone) form.SetModalResult(mrCancel);
    return form.GetModalResult();
}

// ---- application services

int Win32Backend::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    HWND owner = GetActiveWindow();
    if (!FormPeerOf(owner))
        owner = lastActiveForm_ && IsWindowVisible(lastActiveForm_) && IsWindowEnabled(lastActiveForm_)
                    ? lastActiveForm_
                    : MainWindow();
    return MessageBoxW(owner, FromCp1252(text).c_str(), FromCp1252(caption).c_str(), flags);
}

void Win32Backend::BringApplicationToFront() {
    if (HWND popup = reinterpret_cast<HWND>(LastActivePopup())) SetForegroundWindow(popup);
}

NativeWindow Win32Backend::LastActivePopup() {
    HWND main = MainWindow();
    return main ? reinterpret_cast<NativeWindow>(GetLastActivePopup(main)) : 0;
}

void Win32Backend::PopupMenu(TPopupMenu& menu, Point at) {
    HWND owner = MainWindow();
    if (!owner) owner = GetActiveWindow();
    // A copy: jobs run by the menu's own loop might change the model's list.
    std::vector<TMenuItem*> items = menu.Items;

    UniqueMenu native(CreatePopupMenu());
    if (!native) throw std::runtime_error("Menü konnte nicht erzeugt werden.");
    for (size_t i = 0; i < items.size(); ++i) {
        const TMenuItem& item = *items[i];
        UINT id = UINT(i + 1);  // 0 means "nothing chosen"
        if (item.IsSeparator()) {
            AppendMenuW(native.get(), MF_SEPARATOR, 0, nullptr);
            continue;
        }
        AppendMenuW(native.get(), MF_STRING | (item.Enabled ? 0u : MF_GRAYED), id, FromCp1252(item.Caption).c_str());
        if (item.Default) SetMenuDefaultItem(native.get(), id, FALSE);
    }
    int chosen = int(TrackPopupMenu(native.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr));
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageW(owner, WM_NULL, 0, 0);
    native.reset();
    if (chosen > 0 && size_t(chosen) <= items.size()) items[size_t(chosen) - 1]->Click();
}

// ---- calls from other threads

void Win32Backend::Synchronize(const std::function<void()>& fn) {
    if (GetCurrentThreadId() == uiThread_) {
        fn();
        return;
    }
    SyncJob job{fn, false, {}};
    std::unique_lock lock(syncMutex_);
    // Once the loop has ended nobody would run the job; waiting would hang the worker.
    if (terminated_) throw std::runtime_error(kEnding);
    std::uint64_t id = ++nextJob_;
    pendingJobs_[id] = &job;
    // A window message, not a thread message: modal loops (message boxes, menus) dispatch it too.
    if (!PostMessageW(syncWindow_, WM_RUN_JOB, WPARAM(id), 0)) {
        pendingJobs_.erase(id);
        throw std::runtime_error(kEnding);
    }
    syncDone_.wait(lock, [&] { return job.done; });
    if (job.error) std::rethrow_exception(job.error);
}

void Win32Backend::Post(std::function<void()> fn) {
    if (GetCurrentThreadId() == uiThread_) {
        fn();
        return;
    }
    if (terminated_) return;
    auto job = std::make_unique<std::function<void()>>(std::move(fn));
    // A window message, as Synchronize's: in order with its calls, and modal loops run it too.
    if (PostMessageW(syncWindow_, WM_RUN_POSTED, 0, reinterpret_cast<LPARAM>(job.get()))) job.release();
}

void Win32Backend::RunJob(std::uint64_t id) {
    SyncJob* job = nullptr;
    {
        std::lock_guard lock(syncMutex_);
        auto it = pendingJobs_.find(id);
        if (it == pendingJobs_.end()) return;  // given up at program end
        job = it->second;
        pendingJobs_.erase(it);
    }
    std::exception_ptr error;
    try {
        job->fn();
    } catch (...) {
        error = std::current_exception();
    }
    {
        std::lock_guard lock(syncMutex_);
        job->error = error;
        job->done = true;
    }
    syncDone_.notify_all();
}

void Win32Backend::MarkTerminated() {
    std::lock_guard lock(syncMutex_);
    terminated_ = true;
    for (auto& [id, job] : pendingJobs_) {
        job->error = std::make_exception_ptr(std::runtime_error(kEnding));
        job->done = true;
    }
    pendingJobs_.clear();
    syncDone_.notify_all();
}

}  // namespace snapora
