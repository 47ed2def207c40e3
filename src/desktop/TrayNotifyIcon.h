#pragma once
// One icon in the notification area with its tooltip; the shell's mouse
// reports for it become events. It can also step through the icons of an
// image list, hide the task bar window on minimise, and own a hot key.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/HotKeys.h"
#include "platform/MessageWindows.h"
#include "platform/NotificationArea.h"

namespace snapora {

class Application;
class Form;
class TPopupMenu;

enum class TIDI_Icons { idiAPPLICATION, idiASTERISK, idiEXCLAMATION, idiHAND, idiQUESTION, idiWINLOGO };

// Icons to show; the tray icon copies the one it shows.
struct TImageList {
    std::vector<IconHandle> Icons;
    int Count() const { return int(Icons.size()); }
};

class TTrayNotifyIcon {
public:
    TTrayNotifyIcon(Application& app, Form& owner, NotificationArea& shell, MessageWindows& windows, HotKeys& hotKeys);
    ~TTrayNotifyIcon();

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool Animate() const { return animate_; }
    void SetAnimate(bool value);
    bool HideAppOnMinimize() const { return hideAppOnMinimize_; }
    void SetHideAppOnMinimize(bool value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value);
    int Interval() const { return interval_; }
    void SetInterval(int value);
    std::uint16_t ShortCut() const { return shortCut_; }
    void SetShortCut(std::uint16_t value);
    bool ShowAtDesignTime() const { return showAtDesignTime_; }
    void SetShowAtDesignTime(bool value);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    bool UseAppIcon() const { return useAppIcon_; }
    void SetUseAppIcon(bool value);
    TIDI_Icons WinIcon() const { return winIcon_; }
    void SetWinIcon(TIDI_Icons value);

    // Stored plainly; they take effect at their next use.
    TImageList* ImageList = nullptr;
    TPopupMenu* PopupMenu = nullptr;
    bool ShowOnClick = false;

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    // Always the right button, an empty shift state and the cursor position.
    std::function<void(int x, int y)> OnRightClick;
    std::function<void()> OnShortCut;

    // While the owner's stored properties are being set, nothing is sent to the shell.
    void BeginLoading() { loading_ = true; }
    void Loaded();

    // What the shell was last given, for tests and diagnostics.
    const NotifyIconRecord& Record() const { return record_; }
    bool UsesVersion5Record() const { return version5_; }
    bool ShortCutRegistered() const { return hotKeyRegistered_; }
    NativeWindow WindowHandle() const { return window_->Handle(); }

    static constexpr unsigned CallbackMessage = 0x0809;
    static constexpr unsigned AnimationTimer = 1;

private:
    bool HandleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void RefreshIcon();
    void Add();
    void Modify();
    void Remove();
    void PopupSequence();
    void ReleaseIcon();

    Application& app_;
    Form& owner_;
    NotificationArea& shell_;
    HotKeys& hotKeys_;
    std::unique_ptr<HiddenWindow> window_;

    bool active_ = false, animate_ = false, hideAppOnMinimize_ = false, showAtDesignTime_ = false;
    bool showHint_ = false, useAppIcon_ = false, loading_ = false;
    std::string hint_;
    int imageIndex_ = -1;
    int interval_ = 1000;
    std::uint16_t shortCut_ = 0;
    TIDI_Icons winIcon_ = TIDI_Icons::idiWINLOGO;

    bool version5_ = false;
    NotifyIconRecord record_;
    IconHandle icon_ = 0;  // the icon the shell was given
    bool ownsIcon_ = false;
    IconHandle stockIcon_ = 0;
    int animationPosition_ = 0;
    bool hotKeyRegistered_ = false;
    std::function<void()> savedMinimizeHandler_;
};

}  // namespace snapora
