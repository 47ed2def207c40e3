#pragma once
// The widget model on real windows: window classes and procedures, the
// message pump, modal showing, cross-thread calls and pop-up menus.

#include <windows.h>
// The model has a MessageBox of its own; the macro would rename it.
#undef MessageBox

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "ui/Backend.h"
#include "ui/win32/Win32Peers.h"

namespace snapora {

class Win32Backend final : public Backend {
public:
    explicit Win32Backend(HINSTANCE instance, Application* app = nullptr);
    ~Win32Backend() override;
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;

    // The application whose error handler reports exceptions from native callbacks.
    void SetApplication(Application* app) { app_ = app; }

    void FormCreated(Form& form) override;
    void FormDestroyed(Form& form) override;
    int RunModal(Form& form) override;
    void ProcessMessages() override;
    void Run() override;
    void Terminate() override;
    bool Terminated() const override { return terminated_; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void BringApplicationToFront() override;
    NativeWindow LastActivePopup() override;
    void Synchronize(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    void PopupMenu(TPopupMenu& menu, Point at) override;
    void RegisterCursor(Cursor cursor, const std::string& resourceName) override;

    HWND WindowOf(const Control& control) const { return reinterpret_cast<HWND>(control.Handle()); }

private:
    struct SyncJob;

    static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SyncProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FocusWatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR backend);

    LRESULT FormMessage(Win32FormPeer& peer, UINT message, WPARAM wParam, LPARAM lParam);
    void Command(Win32ControlPeer& peer, unsigned code);
    bool Notify(const NMHDR& header, LPARAM lParam, LRESULT& result);
    void Activated(Win32FormPeer& peer);
    bool MouseMessage(Win32ControlPeer& peer, UINT message, WPARAM wParam, LPARAM lParam);
    void ScrollBoxScrolled(Win32ControlPeer& peer, bool horizontal, unsigned request);
    HCURSOR CursorFor(Cursor cursor) const;

    // The pump shared by Run, RunModal and ProcessMessages.
    void Pump(MSG& msg);
    bool PreTranslate(MSG& msg);
    bool KeyMessage(MSG& msg, Form& form, HWND formWindow);
    // Tab and Shift+Tab with page controls on the form; false leaves the key to dialog navigation.
    bool TabNavigation(HWND formWindow, const MSG& msg, bool backward);
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages of the page control holding the focus.
    bool TurnPage(bool backward);
    struct TabOrderEntry {
        HWND window;
        bool stop;  // Tab may land here
    };
    void CollectTabOrder(HWND parent, std::vector<TabOrderEntry>& order) const;
    HWND FirstTabStop(HWND formWindow) const;
    bool IsTabStrip(HWND window) const;
    // After a page change the focus must not stay on a hidden sheet.
    void KeepFocusVisible(HWND tabStrip);
    // Makes the model's active control follow the native focus; OnExit runs here.
    void TrackFocus(HWND focus);
    void SyncFocus();
    void QuitSeen(const MSG& msg);

    void RunJob(std::uint64_t id);
    void MarkTerminated();

    // Runs model code from native callbacks; errors go to the application's handler.
    template <class F>
    void Guarded(F&& call);
    void Report(const std::exception& error);

    Win32FormPeer* FormPeerOf(HWND window) const;
    Win32ControlPeer* ControlPeerOf(HWND window) const;
    void AddControlWindows(Win32FormPeer& peer);
    void RemoveControlWindows(Win32FormPeer& peer);
    HWND MainWindow() const;

    HINSTANCE instance_;
    Application* app_;
    DWORD uiThread_;
    GdiCache gdi_;
    NativeClasses classes_;
    HWND syncWindow_ = nullptr;
    Form* firstForm_ = nullptr;

    std::map<Form*, std::unique_ptr<Win32FormPeer>> forms_;
    std::unordered_map<HWND, Win32FormPeer*> formWindows_;
    std::unordered_map<HWND, Win32ControlPeer*> controlWindows_;

    std::atomic<bool> terminated_{false};
    HWND lastActiveForm_ = nullptr;
    HWND lastFocus_ = nullptr;
    const MSG* dispatching_ = nullptr;  // the posted message being dispatched by the pump
    bool swallowMenuKeyUp_ = false;
    HWND pressed_ = nullptr;  // where the last mouse button went down
    std::map<Cursor, HCURSOR> cursors_;

    std::mutex syncMutex_;
    std::condition_variable syncDone_;
    std::unordered_map<std::uint64_t, SyncJob*> pendingJobs_;
    std::uint64_t nextJob_ = 0;
};

}  // namespace snapora
