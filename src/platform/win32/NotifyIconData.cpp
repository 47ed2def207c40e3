#include "platform/win32/NotifyIconData.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace snapora {

namespace {

constexpr std::uint32_t kFirstLayoutSize = offsetof(NOTIFYICONDATAA, szTip) + 64;
constexpr std::uint32_t kVersion5LayoutSize = offsetof(NOTIFYICONDATAA, guidItem);

}  // namespace

std::uint32_t NotifyIconDataSize(bool version5) { return version5 ? kVersion5LayoutSize : kFirstLayoutSize; }

NOTIFYICONDATAA NotifyIconData(const NotifyIconRecord& record) {
    NOTIFYICONDATAA data{};
    data.cbSize = NotifyIconDataSize(record.version5);
    data.hWnd = reinterpret_cast<HWND>(record.window);
    data.uID = record.id;
    data.uFlags = record.flags;
    data.uCallbackMessage = record.callbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.icon);
    if (record.flags & NIF_TIP) {
        const size_t layoutTip = record.version5 ? sizeof data.szTip : 64;
        const size_t length = std::min(record.tip.size(), layoutTip - 1);  // room for the zero
        std::memcpy(data.szTip, record.tip.data(), length);
    }
    if (record.version5) {
        data.dwState = record.state;
        data.dwStateMask = record.stateMask;
    }
    return data;
}

}  // namespace snapora
