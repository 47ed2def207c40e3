// wintool: inspects and drives the windows of another process for the
// end-to-end tests. Output is UTF-8, one record per line, fields separated
// by TAB. Exit codes: 0 success, 1 window/control not found, timed out or
// action impossible, 2 usage error. Run without arguments for the usage.
#include <windows.h>

#include <wincrypt.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::wstring>;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr UINT kReplyTimeoutMs = 3000;  // for messages sent to the other process
constexpr DWORD kPollMs = 100;
constexpr wchar_t kNameProperty[] = L"SnaporaName";

const char kUsageText[] =
    "usage: wintool COMMAND [ARGS]   (TITLE = exact window title, NAME = control name)\n"
    "  windows                    hwnd visible iconic class title of every top-level window\n"
    "  find TITLE                 hwnd visible iconic\n"
    "  wait TITLE [MS]            until the window exists and is visible (default 10000 ms)\n"
    "  wait-exists TITLE [MS]     until the window exists\n"
    "  wait-gone TITLE [MS]       until no window has that title\n"
    "  wait-text TITLE NAME TEXT [MS]  until the control shows exactly TEXT\n"
    "  key-on-text TITLE NAME PREFIX VK [MS]  post the key as soon as the control's text\n"
    "                             starts with PREFIX (for states that last a moment only)\n"
    "  caption TITLE              the window's title\n"
    "  list TITLE                 name class text visible enabled checked x,y,w,h of every control\n"
    "  get TITLE NAME             the same record for one control\n"
    "  text TITLE NAME            the control's text alone\n"
    "  click TITLE NAME           click a button or a notifying static control\n"
    "                             (NAME may be #ID for unnamed controls: #1 = IDOK, #2 = IDCANCEL)\n"
    "  check TITLE NAME 0|1       set a check box to the wanted state (clicks if needed)\n"
    "  settext TITLE NAME TEXT    replace the control's text (WM_SETTEXT)\n"
    "  mouse TITLE NAME           a left click (button down and up) in the control's middle\n"
    "  selection TITLE NAME       start and end of an edit control's selection\n"
    "  screenrect TITLE NAME      the control's rectangle on the screen: left top right bottom\n"
    "  count TITLE NAME           the number of entries of a list or combo box\n"
    "  key TITLE VK [MODS]        post a key (number, 0x hex or name such as F5, RETURN, A);\n"
    "                             MODS: shift, ctrl, alt joined by '+'\n"
    "  close TITLE                post WM_CLOSE\n"
    "  clipboard                  the clipboard's text\n"
    "  clipboard-clear            empty the clipboard\n"
    "  rect TITLE                 the window's outer rectangle: left top right bottom\n"
    "  trust-ca FILE              add a PEM certificate to the machine's trusted roots\n"
    "  untrust-ca FILE            remove it again\n"
    "Coordinates are physical pixels: wintool is per-monitor DPI aware.\n";

// ---- text and output

std::string toUtf8(const std::wstring& s) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), out.data(), n, nullptr, nullptr);
    return out;
}

void writeLine(FILE* f, const std::wstring& line) {
    std::string bytes = toUtf8(line) + "\n";
    fwrite(bytes.data(), 1, bytes.size(), f);
    fflush(f);
}

void print(const std::wstring& line) { writeLine(stdout, line); }

int fail(const std::wstring& message) {
    writeLine(stderr, L"wintool: " + message);
    return kFailed;
}

int usage() {
    fputs(kUsageText, stderr);
    return kUsage;
}

// Keeps a field on its line: TAB, CR and LF are written as \t, \r and \n.
std::wstring field(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'\t') out += L"\\t";
        else if (c == L'\r') out += L"\\r";
        else if (c == L'\n') out += L"\\n";
        else out += c;
    }
    return out;
}

std::wstring join(const std::vector<std::wstring>& fields) {
    std::wstring line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? L"\t" : L"") + field(fields[i]);
    return line;
}

std::wstring hex(HWND h) {
    wchar_t buf[32];
    swprintf(buf, 32, L"0x%llx", (unsigned long long)(ULONG_PTR)h);
    return buf;
}

// ---- command line (Windows quoting rules, enough for test scripts)

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

Args splitCommandLine(const wchar_t* p) {
    Args args;
    std::wstring arg;
    // The program name ends at its closing quote or at the first blank.
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) arg += *p;
        if (*p) ++p;
    } else {
        for (; *p && !isBlank(*p); ++p) arg += *p;
    }
    args.push_back(arg);
    for (;;) {
        while (isBlank(*p)) ++p;
        if (!*p) return args;
        arg.clear();
        bool quoted = false;
        while (*p && (quoted || !isBlank(*p))) {
            if (*p == L'\\') {
                size_t n = 0;
                while (p[n] == L'\\') ++n;
                bool beforeQuote = p[n] == L'"';
                arg.append(beforeQuote ? n / 2 : n, L'\\');
                p += n;
                if (beforeQuote && n % 2) arg += *p++;  // an escaped quote
            } else if (*p == L'"') {
                if (quoted && p[1] == L'"') { arg += L'"'; p += 2; }
                else { quoted = !quoted; ++p; }
            } else {
                arg += *p++;
            }
        }
        args.push_back(arg);
    }
}

bool parseNumber(const std::wstring& s, unsigned long& out) {
    bool isHex = s.size() > 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X');
    if (s.empty()) return false;
    wchar_t* end = nullptr;
    out = wcstoul(s.c_str(), &end, isHex ? 16 : 10);
    return end && *end == 0;
}

bool parseTimeout(const Args& a, size_t index, DWORD& ms) {
    ms = 10000;
    unsigned long value = 0;
    if (a.size() <= index) return true;
    if (!parseNumber(a[index], value)) return false;
    ms = value;
    return true;
}

// ---- windows and controls

std::wstring windowTitle(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::wstring s(n + 1, L'\0');
    s.resize(GetWindowTextW(h, s.data(), n + 1));
    return s;
}

std::wstring className(HWND h) {
    wchar_t buf[256] = L"";
    GetClassNameW(h, buf, 256);
    return buf;
}

// A control's text via WM_GETTEXT, which the system copies across processes.
std::wstring controlText(HWND h) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &length))
        return windowTitle(h);
    std::wstring s(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, length + 1, (LPARAM)s.data(), SMTO_ABORTIFHUNG,
                             kReplyTimeoutMs, &copied))
        return windowTitle(h);
    s.resize(wcsnlen(s.c_str(), copied));
    return s;
}

// The control's name: a global atom stored in its "SnaporaName" property.
std::wstring controlName(HWND h) {
    ATOM atom = (ATOM)(ULONG_PTR)GetPropW(h, kNameProperty);
    wchar_t buf[256];
    if (atom && GlobalGetAtomNameW(atom, buf, 256)) return buf;
    return L"-";
}

HWND findWindow(const std::wstring& title) {
    struct Search { const std::wstring* title; HWND found; } search{&title, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = (Search*)lp;
            if (windowTitle(h) != *s->title) return TRUE;
            if (!s->found || !IsWindowVisible(s->found)) s->found = h;
            return !IsWindowVisible(h);  // a visible match ends the search
        },
        (LPARAM)&search);
    return search.found;
}

std::vector<HWND> topWindows() {
    std::vector<HWND> all;
    EnumWindows([](HWND h, LPARAM lp) -> BOOL { ((std::vector<HWND>*)lp)->push_back(h); return TRUE; },
                (LPARAM)&all);
    return all;
}

std::vector<HWND> controls(HWND top) {
    std::vector<HWND> all;
    EnumChildWindows(top, [](HWND h, LPARAM lp) -> BOOL { ((std::vector<HWND>*)lp)->push_back(h); return TRUE; },
                     (LPARAM)&all);
    return all;
}

// NAME is a control name, or #ID for a control without one (IDOK is #1).
HWND findControl(HWND top, const std::wstring& name) {
    unsigned long id = 0;
    bool byId = name.size() > 1 && name[0] == L'#' && parseNumber(name.substr(1), id);
    HWND first = nullptr;
    for (HWND h : controls(top)) {
        if (byId ? (unsigned long)GetDlgCtrlID(h) != id : controlName(h) != name) continue;
        if (IsWindowVisible(h)) return h;
        if (!first) first = h;
    }
    return first;
}

bool isButton(HWND h) { return _wcsicmp(className(h).c_str(), L"Button") == 0; }
bool isStatic(HWND h) { return _wcsicmp(className(h).c_str(), L"Static") == 0; }

bool isCheckable(HWND h) {
    if (!isButton(h)) return false;
    switch (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_3STATE: case BS_AUTO3STATE:
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
        return true;
    default:
        return false;
    }
}

int checkState(HWND h) {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &state);
    return (int)state;
}

std::wstring controlRecord(HWND top, HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(HWND_DESKTOP, top, (POINT*)&r, 2);
    wchar_t box[80];
    swprintf(box, 80, L"%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return join({controlName(h), className(h), controlText(h), IsWindowVisible(h) ? L"1" : L"0",
                 IsWindowEnabled(h) ? L"1" : L"0",
                 isCheckable(h) ? std::to_wstring(checkState(h)) : L"-", box});
}

template <class Done>
bool pollUntil(DWORD ms, Done done, DWORD pollMs = kPollMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(pollMs);
    }
}

// Looks up TITLE (and NAME); reports what is missing.
bool resolve(const Args& a, HWND& top, HWND* ctl = nullptr) {
    top = findWindow(a[0]);
    if (!top) return fail(L"no window titled \"" + a[0] + L"\""), false;
    if (!ctl) return true;
    *ctl = findControl(top, a[1]);
    if (!*ctl) return fail(L"no control \"" + a[1] + L"\" in \"" + a[0] + L"\""), false;
    return true;
}

// A user can only operate a visible control that is enabled along with all
// its parents (a modal window disables its owner, not the owner's controls).
bool visibleAndEnabled(HWND ctl) {
    if (!IsWindowVisible(ctl)) return false;
    for (HWND h = ctl; h; h = (GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : nullptr)
        if (!IsWindowEnabled(h)) return false;
    return true;
}

bool usable(HWND ctl, const std::wstring& name) {
    if (!IsWindowVisible(ctl)) return fail(L"control \"" + name + L"\" is not visible"), false;
    for (HWND h = ctl; h; h = (GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : nullptr)
        if (!IsWindowEnabled(h))
            return fail(h == ctl ? L"control \"" + name + L"\" is disabled"
                                 : L"control \"" + name + L"\" sits in a disabled window"), false;
    return true;
}

std::wstring windowRecord(HWND h) {
    return join({hex(h), IsWindowVisible(h) ? L"1" : L"0", IsIconic(h) ? L"1" : L"0"});
}

// ---- commands (a = arguments after the command word)

int cmdWindows(const Args&) {
    for (HWND h : topWindows())
        print(windowRecord(h) + L"\t" + join({className(h), windowTitle(h)}));
    return kOk;
}

int cmdFind(const Args& a) {
    HWND top;
    if (!resolve(a, top)) return kFailed;
    print(windowRecord(top));
    return kOk;
}

int waitFor(const Args& a, bool (*ready)(HWND)) {
    DWORD ms;
    if (!parseTimeout(a, 1, ms)) return usage();
    HWND found = nullptr;
    if (!pollUntil(ms, [&] { found = findWindow(a[0]); return ready(found); }))
        return fail(L"timed out waiting for \"" + a[0] + L"\"");
    if (found) print(windowRecord(found));
    return kOk;
}

int cmdWait(const Args& a) { return waitFor(a, [](HWND h) { return h && IsWindowVisible(h); }); }
int cmdWaitExists(const Args& a) { return waitFor(a, [](HWND h) { return h != nullptr; }); }
int cmdWaitGone(const Args& a) { return waitFor(a, [](HWND h) { return h == nullptr; }); }

int cmdWaitText(const Args& a) {
    DWORD ms;
    if (!parseTimeout(a, 3, ms)) return usage();
    std::wstring last;
    bool done = pollUntil(ms, [&] {
        HWND top = findWindow(a[0]);
        HWND ctl = top ? findControl(top, a[1]) : nullptr;
        last = ctl ? controlText(ctl) : L"(missing)";
        return ctl && last == a[2];
    });
    if (!done) return fail(L"timed out; \"" + a[1] + L"\" shows \"" + last + L"\"");
    return kOk;
}

int cmdKey(const Args& a);

// One process that watches closely and keys at once: starting wintool again
// for the key would cost more than the state may last.
int cmdKeyOnText(const Args& a) {
    DWORD ms;
    if (!parseTimeout(a, 4, ms)) return usage();
    std::wstring last;
    bool seen = pollUntil(
        ms,
        [&] {
            HWND top = findWindow(a[0]);
            HWND ctl = top ? findControl(top, a[1]) : nullptr;
            last = ctl ? controlText(ctl) : L"(missing)";
            return ctl && last.compare(0, a[2].size(), a[2]) == 0;
        },
        5);
    if (!seen) return fail(L"timed out; \"" + a[1] + L"\" shows \"" + last + L"\"");
    return cmdKey({a[0], a[3]});
}

int cmdCaption(const Args& a) {
    HWND top;
    if (!resolve(a, top)) return kFailed;
    print(windowTitle(top));
    return kOk;
}

int cmdList(const Args& a) {
    HWND top;
    if (!resolve(a, top)) return kFailed;
    for (HWND h : controls(top)) print(controlRecord(top, h));
    return kOk;
}

int cmdGet(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl)) return kFailed;
    print(controlRecord(top, ctl));
    return kOk;
}

int cmdText(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl)) return kFailed;
    print(controlText(ctl));
    return kOk;
}

// Posted, never sent: a click that opens a modal window must not block the tool.
int cmdClick(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl) || !usable(ctl, a[1])) return kFailed;
    if (isButton(ctl)) {
        PostMessageW(ctl, BM_CLICK, 0, 0);
    } else if (isStatic(ctl)) {
        if (!(GetWindowLongW(ctl, GWL_STYLE) & SS_NOTIFY))
            return fail(L"static control \"" + a[1] + L"\" lacks SS_NOTIFY; a click would do nothing");
        WPARAM wp = MAKEWPARAM(GetDlgCtrlID(ctl), STN_CLICKED);
        PostMessageW(GetParent(ctl), WM_COMMAND, wp, (LPARAM)ctl);
    } else {  // any other control: a left click in its middle
        RECT r;
        GetClientRect(ctl, &r);
        LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
        PostMessageW(ctl, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(ctl, WM_LBUTTONUP, 0, at);
    }
    return kOk;
}

int cmdCheck(const Args& a) {
    HWND top, ctl;
    if (a[2] != L"0" && a[2] != L"1") return usage();
    if (!resolve(a, top, &ctl)) return kFailed;
    if (!isCheckable(ctl)) return fail(L"control \"" + a[1] + L"\" is not a check box");
    int wanted = a[2] == L"1" ? BST_CHECKED : BST_UNCHECKED;
    if (checkState(ctl) == wanted) return kOk;
    // The options are locked for a moment while a capture or an upload runs.
    pollUntil(5000, [&] { return visibleAndEnabled(ctl); });
    if (!usable(ctl, a[1])) return kFailed;
    PostMessageW(ctl, BM_CLICK, 0, 0);
    if (!pollUntil(2000, [&] { return checkState(ctl) == wanted; }))
        return fail(L"check box \"" + a[1] + L"\" did not change");
    return kOk;
}

int cmdSetText(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl)) return kFailed;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(ctl, WM_SETTEXT, 0, (LPARAM)a[2].c_str(), SMTO_ABORTIFHUNG, kReplyTimeoutMs,
                             &result))
        return fail(L"no reply to WM_SETTEXT from \"" + a[1] + L"\"");
    return kOk;
}

int cmdClose(const Args& a) {
    HWND top;
    if (!resolve(a, top)) return kFailed;
    PostMessageW(top, WM_CLOSE, 0, 0);
    return kOk;
}

bool parseKey(const std::wstring& s, UINT& vk) {
    static const struct { const wchar_t* name; UINT vk; } names[] = {
        {L"RETURN", VK_RETURN}, {L"ENTER", VK_RETURN}, {L"ESCAPE", VK_ESCAPE}, {L"ESC", VK_ESCAPE},
        {L"TAB", VK_TAB},       {L"SPACE", VK_SPACE},  {L"BACK", VK_BACK},     {L"DELETE", VK_DELETE},
        {L"LEFT", VK_LEFT},     {L"RIGHT", VK_RIGHT},  {L"UP", VK_UP},         {L"DOWN", VK_DOWN},
        {L"HOME", VK_HOME},     {L"END", VK_END},      {L"SNAPSHOT", VK_SNAPSHOT}};
    unsigned long n = 0;
    if (parseNumber(s, n) && n > 0 && n < 256) return vk = n, true;
    for (auto& k : names)
        if (_wcsicmp(s.c_str(), k.name) == 0) return vk = k.vk, true;
    if (s.size() == 1 && iswalnum(s[0])) return vk = towupper(s[0]), true;
    if (s.size() >= 2 && towupper(s[0]) == L'F' && parseNumber(s.substr(1), n) && n >= 1 && n <= 24)
        return vk = VK_F1 + n - 1, true;
    return false;
}

// Modifiers are set in the target's (shared) keyboard state while its
// message loop picks up the posted key; shared via AttachThreadInput.
int cmdKey(const Args& a) {
    UINT vk;
    if (!parseKey(a[1], vk)) return usage();
    std::vector<UINT> mods;
    std::wstring modText = a.size() > 2 ? a[2] + L"+" : L"";
    for (size_t start = 0, plus; (plus = modText.find(L'+', start)) != std::wstring::npos; start = plus + 1) {
        std::wstring m = modText.substr(start, plus - start);
        if (_wcsicmp(m.c_str(), L"shift") == 0) mods.push_back(VK_SHIFT);
        else if (_wcsicmp(m.c_str(), L"ctrl") == 0) mods.push_back(VK_CONTROL);
        else if (_wcsicmp(m.c_str(), L"alt") == 0) mods.push_back(VK_MENU);
        else if (!m.empty()) return usage();
    }
    HWND top;
    if (!resolve(a, top)) return kFailed;

    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread an input queue
    DWORD self = GetCurrentThreadId(), target = GetWindowThreadProcessId(top, nullptr);
    bool attached = AttachThreadInput(self, target, TRUE);
    HWND focus = attached ? GetFocus() : nullptr;
    if (!focus || (focus != top && !IsChild(top, focus))) focus = top;

    BYTE saved[256] = {}, keys[256] = {};
    bool alt = false;
    if (attached && !mods.empty()) {
        GetKeyboardState(saved);
        memcpy(keys, saved, sizeof keys);
        for (UINT m : mods) keys[m] |= 0x80, alt |= m == VK_MENU;
        SetKeyboardState(keys);
    }
    bool sys = alt || vk == VK_F10;
    LPARAM down = 1 | (LPARAM)MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16 | (alt ? 1 << 29 : 0);
    LPARAM up = down | 0xC0000000;
    PostMessageW(focus, sys ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
    PostMessageW(focus, sys ? WM_SYSKEYUP : WM_KEYUP, vk, up);
    if (attached) {
        if (!mods.empty()) {
            Sleep(300);  // let the target handle the keys before releasing the modifiers
            SetKeyboardState(saved);
        }
        AttachThreadInput(self, target, FALSE);
    }
    return kOk;
}

bool openClipboard() {
    return pollUntil(1000, [] { return OpenClipboard(nullptr) != FALSE; });
}

int cmdClipboard(const Args&) {
    if (!openClipboard()) return fail(L"cannot open the clipboard");
    std::wstring text;
    bool found = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = (const wchar_t*)GlobalLock(data)) {
            text = p;
            found = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    if (!found) return fail(L"no text on the clipboard");
    print(text);
    return kOk;
}

int cmdClipboardClear(const Args&) {
    if (!openClipboard()) return fail(L"cannot open the clipboard");
    EmptyClipboard();
    CloseClipboard();
    return kOk;
}

struct Command {
    const wchar_t* word;
    size_t minArgs, maxArgs;
    int (*run)(const Args&);
};

int cmdMouse(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl)) return kFailed;
    RECT r;
    GetClientRect(ctl, &r);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageW(ctl, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(ctl, WM_LBUTTONUP, 0, at);
    return kOk;
}

int cmdSelection(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl)) return kFailed;
    // Pointers don't cross processes: the packed result (start low, end high) does.
    DWORD_PTR packed = 0;
    if (!SendMessageTimeoutW(ctl, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &packed))
        return fail(L"no reply to EM_GETSEL from \"" + a[1] + L"\"");
    print(std::to_wstring(LOWORD(packed)) + L" " + std::to_wstring(HIWORD(packed)));
    return kOk;
}

int cmdScreenRect(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl)) return kFailed;
    RECT r;
    GetWindowRect(ctl, &r);
    print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
          std::to_wstring(r.bottom));
    return kOk;
}

int cmdCount(const Args& a) {
    HWND top, ctl;
    if (!resolve(a, top, &ctl)) return kFailed;
    UINT message = _wcsicmp(className(ctl).c_str(), L"ComboBox") == 0 ? CB_GETCOUNT : LB_GETCOUNT;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(ctl, message, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &count))
        return fail(L"no reply from \"" + a[1] + L"\"");
    print(std::to_wstring(LONG_PTR(count)));
    return kOk;
}

int cmdRect(const Args& a) {
    HWND top = findWindow(a[0]);
    if (!top) return fail(L"no window \"" + a[0] + L"\"");
    RECT r;
    GetWindowRect(top, &r);
    print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
          std::to_wstring(r.bottom));
    return kOk;
}

// The certificate of a PEM file, DER-encoded.
bool readCertificate(const std::wstring& path, std::vector<BYTE>& der) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    std::string pem;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) pem.append(buffer, n);
    fclose(f);
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                              nullptr))
        return false;
    der.resize(size);
    return CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                                nullptr) != FALSE;
}

// The machine's store: no confirmation dialog, unlike the user's root store.
HCERTSTORE openRootStore() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
}

int cmdTrustCa(const Args& a) {
    std::vector<BYTE> der;
    if (!readCertificate(a[0], der)) return fail(L"no PEM certificate in " + a[0]);
    HCERTSTORE store = openRootStore();
    if (!store) return fail(L"cannot open the trusted root store");
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), DWORD(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added ? kOk : fail(L"the store refused the certificate");
}

int cmdUntrustCa(const Args& a) {
    std::vector<BYTE> der;
    if (!readCertificate(a[0], der)) return fail(L"no PEM certificate in " + a[0]);
    PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), DWORD(der.size()));
    if (!wanted) return fail(L"not a certificate: " + a[0]);
    HCERTSTORE store = openRootStore();
    int result = kFailed;
    if (store) {
        PCCERT_CONTEXT found =
            CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr);
        if (found && CertDeleteCertificateFromStore(found)) result = kOk;  // frees `found`
        CertCloseStore(store, 0);
    }
    CertFreeCertificateContext(wanted);
    return result;
}

const Command kCommands[] = {
    {L"windows", 0, 0, cmdWindows},    {L"find", 1, 1, cmdFind},
    {L"wait", 1, 2, cmdWait},          {L"wait-exists", 1, 2, cmdWaitExists},
    {L"wait-gone", 1, 2, cmdWaitGone}, {L"wait-text", 3, 4, cmdWaitText},
    {L"key-on-text", 4, 5, cmdKeyOnText},
    {L"caption", 1, 1, cmdCaption},    {L"list", 1, 1, cmdList},
    {L"get", 2, 2, cmdGet},            {L"text", 2, 2, cmdText},
    {L"click", 2, 2, cmdClick},        {L"check", 3, 3, cmdCheck},
    {L"settext", 3, 3, cmdSetText},    {L"key", 2, 3, cmdKey},
    {L"close", 1, 1, cmdClose},        {L"clipboard", 0, 0, cmdClipboard},
    {L"clipboard-clear", 0, 0, cmdClipboardClear},
    {L"mouse", 2, 2, cmdMouse},        {L"selection", 2, 2, cmdSelection},
    {L"screenrect", 2, 2, cmdScreenRect}, {L"count", 2, 2, cmdCount},
    {L"rect", 1, 1, cmdRect},
    {L"trust-ca", 1, 1, cmdTrustCa},   {L"untrust-ca", 1, 1, cmdUntrustCa},
};

}  // namespace

int main() {
    // Binary mode: LF line ends and UTF-8 bytes exactly as written.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Physical pixels, as the program sees them (it is per-monitor aware).
    using SetAwareness = BOOL(WINAPI*)(HANDLE);
    if (auto set = reinterpret_cast<SetAwareness>(
            GetProcAddress(GetModuleHandleW(L"user32"), "SetProcessDpiAwarenessContext")))
        set(reinterpret_cast<HANDLE>(-4) /* DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 */);
    Args args = splitCommandLine(GetCommandLineW());
    if (args.size() < 2) return usage();
    Args rest(args.begin() + 2, args.end());
    for (const Command& c : kCommands) {
        if (args[1] != c.word) continue;
        if (rest.size() < c.minArgs || rest.size() > c.maxArgs) return usage();
        return c.run(rest);
    }
    return usage();
}
