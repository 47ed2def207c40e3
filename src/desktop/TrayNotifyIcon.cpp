#include "desktop/TrayNotifyIcon.h"

#include "desktop/GlobalHotKey.h"
#include "ui/Application.h"
#include "ui/Menu.h"

namespace snapora {

namespace {

constexpr unsigned WM_LBUTTONUP_ = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK_ = 0x0203;
constexpr unsigned WM_RBUTTONUP_ = 0x0205;
constexpr int SW_HIDE_ = 0, SW_SHOW_ = 5, SW_RESTORE_ = 9;

int StockIconId(TIDI_Icons icon) {
    switch (icon) {
        case TIDI_Icons::idiAPPLICATION: return 32512;
        case TIDI_Icons::idiASTERISK: return 32516;
        case TIDI_Icons::idiEXCLAMATION: return 32515;
        case TIDI_Icons::idiHAND: return 32513;
        case TIDI_Icons::idiQUESTION: return 32514;
        case TIDI_Icons::idiWINLOGO: return 32517;
    }
    return 32517;
}

}  // namespace

TTrayNotifyIcon::TTrayNotifyIcon(Application& app, Form& owner, NotificationArea& shell, MessageWindows& windows,
                                 HotKeys& hotKeys)
    : app_(app), owner_(owner), shell_(shell), hotKeys_(hotKeys) {
    // The larger record only where the shell understands it (version 5 and later).
    version5_ = shell_.ShellMajorVersion() >= 5;
    window_ = windows.Create([this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t&) {
        return HandleMessage(message, wParam, lParam);
    });
    stockIcon_ = shell_.StockIcon(StockIconId(winIcon_));
}

TTrayNotifyIcon::~TTrayNotifyIcon() {
    if (active_) Remove();
    if (hotKeyRegistered_) hotKeys_.Unregister(window_->Handle(), 0);
    if (hideAppOnMinimize_) app_.OnMinimize = savedMinimizeHandler_;
    window_.reset();
    ReleaseIcon();
}

void TTrayNotifyIcon::ReleaseIcon() {
    if (ownsIcon_ && icon_) shell_.DestroyIcon(icon_);
    icon_ = 0;
    ownsIcon_ = false;
}

void TTrayNotifyIcon::RefreshIcon() {
    ReleaseIcon();
    if (useAppIcon_) {
        icon_ = shell_.ApplicationIcon();
    } else if (animate_) {
        if (ImageList && ImageList->Count() > 0 && animationPosition_ < ImageList->Count()) {
            icon_ = shell_.CopyIcon(ImageList->Icons[size_t(animationPosition_)]);
            if (++animationPosition_ >= ImageList->Count()) animationPosition_ = 0;
        }
    } else if (ImageList && imageIndex_ >= 0 && imageIndex_ < ImageList->Count()) {
        icon_ = shell_.CopyIcon(ImageList->Icons[size_t(imageIndex_)]);
    }
    ownsIcon_ = icon_ != 0;
    if (!icon_) icon_ = stockIcon_;

    record_ = {};
    record_.version5 = version5_;
    record_.window = window_->Handle();
    record_.id = 0;
    record_.flags = NIF_MESSAGE_ | NIF_ICON_ | (showHint_ ? std::uint32_t(NIF_TIP_) : 0u);
    record_.callbackMessage = CallbackMessage;
    record_.icon = icon_;
    if (showHint_) record_.tip = hint_.substr(0, version5_ ? 127 : 63);
}

void TTrayNotifyIcon::Add() {
    if (loading_) return;
    RefreshIcon();
    shell_.NotifyIcon(NIM_ADD_, record_);
}

void TTrayNotifyIcon::Modify() {
    if (loading_) return;
    RefreshIcon();
    shell_.NotifyIcon(NIM_MODIFY_, record_);  // refused while not shown; nothing to report
}

void TTrayNotifyIcon::Remove() { shell_.NotifyIcon(NIM_DELETE_, record_); }

void TTrayNotifyIcon::Loaded() {
    loading_ = false;
    if (active_) Add();
}

void TTrayNotifyIcon::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    if (value)
        Add();
    else
        Remove();
}

void TTrayNotifyIcon::SetShowAtDesignTime(bool value) {
    if (value == showAtDesignTime_) return;
    showAtDesignTime_ = value;
    if (value)
        Add();
    else
        Remove();
}

void TTrayNotifyIcon::SetAnimate(bool value) {
    if (value == animate_) return;
    animationPosition_ = 0;
    animate_ = value;
    if (value)
        window_->StartTimer(AnimationTimer, unsigned(interval_));
    else
        window_->StopTimer(AnimationTimer);
}

void TTrayNotifyIcon::SetInterval(int value) {
    if (value == interval_) return;
    interval_ = value;
    if (animate_) window_->StartTimer(AnimationTimer, unsigned(interval_));
}

void TTrayNotifyIcon::SetHint(const std::string& value) {
    if (value == hint_) return;
    hint_ = value;
    Modify();
}

void TTrayNotifyIcon::SetShowHint(bool value) {
    if (value == showHint_) return;
    showHint_ = value;
    Modify();
}

void TTrayNotifyIcon::SetImageIndex(int value) {
    if (value == imageIndex_) return;
    imageIndex_ = value;
    Modify();
}

void TTrayNotifyIcon::SetUseAppIcon(bool value) {
    if (value == useAppIcon_) return;
    useAppIcon_ = value;
    Modify();
}

void TTrayNotifyIcon::SetWinIcon(TIDI_Icons value) {
    if (value == winIcon_) return;
    winIcon_ = value;
    stockIcon_ = shell_.StockIcon(StockIconId(value));
    Modify();
}

void TTrayNotifyIcon::SetHideAppOnMinimize(bool value) {
    if (value == hideAppOnMinimize_) return;
    hideAppOnMinimize_ = value;
    if (value) {
        savedMinimizeHandler_ = app_.OnMinimize;
        app_.OnMinimize = [this, saved = savedMinimizeHandler_] {
            if (saved) saved();
            shell_.ShowTaskbarWindow(SW_HIDE_);
        };
    } else {
        app_.OnMinimize = savedMinimizeHandler_;
        savedMinimizeHandler_ = nullptr;
    }
}

void TTrayNotifyIcon::SetShortCut(std::uint16_t value) {
    if (value == shortCut_) return;
    shortCut_ = value;
    if (value != 0) {
        if (hotKeyRegistered_) hotKeys_.Unregister(window_->Handle(), 0);
        hotKeyRegistered_ = hotKeys_.Register(window_->Handle(), 0, HotKeyModifiers(value), value & 0xFF);
    } else {
        hotKeys_.Unregister(window_->Handle(), 0);
        hotKeyRegistered_ = false;
    }
}

bool TTrayNotifyIcon::HandleMessage(unsigned message, std::uintptr_t, std::intptr_t lParam) {
    if (message == CallbackMessage) {
        switch (unsigned(lParam)) {
            case WM_LBUTTONUP_:
                if (ShowOnClick) {
                    shell_.ShowTaskbarWindow(SW_SHOW_);
                    shell_.ShowTaskbarWindow(SW_RESTORE_);
                }
                if (OnClick) OnClick();
                break;
            case WM_LBUTTONDBLCLK_:
                if (OnDblClick) OnDblClick();
                break;
            case WM_RBUTTONUP_:
                PopupSequence();
                break;
            default:
                break;  // moves, presses, the middle button: nothing
        }
        return true;
    }
    if (message == WM_HOTKEY_) {
        if (OnShortCut) OnShortCut();
        return true;
    }
    if (message == WM_TIMER_ && animate_) {
        Modify();
        return true;
    }
    return false;
}

void TTrayNotifyIcon::PopupSequence() {
    Point cursor = shell_.CursorPosition();
    if (PopupMenu) {
        // The menu closes on a click elsewhere only when our window is in front.
        NativeWindow active = app_.LastActivePopup();
        shell_.SetForegroundWindow(active ? active : owner_.Handle());
        if (PopupMenu->AutoPopup) app_.GetBackend().PopupMenu(*PopupMenu, cursor);
    }
    if (OnRightClick) OnRightClick(cursor.x, cursor.y);
}

}  // namespace snapora
