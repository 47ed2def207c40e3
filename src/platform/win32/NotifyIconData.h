#pragma once
// The NOTIFYICONDATAA that Shell_NotifyIconA receives for a record.

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "platform/NotificationArea.h"

namespace snapora {

// The shell tells its layouts apart by size alone: the first one (tip of 64
// bytes) and the version 5 one (tip of 128 bytes, state and balloon fields).
// They are the SDK's NOTIFYICONDATAA_V1_SIZE and NOTIFYICONDATAA_V2_SIZE.
std::uint32_t NotifyIconDataSize(bool version5);

// Fields outside the record's layout, and the tip without NIF_TIP, stay zero.
NOTIFYICONDATAA NotifyIconData(const NotifyIconRecord& record);

}  // namespace snapora
