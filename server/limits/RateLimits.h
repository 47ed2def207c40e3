#pragma once
// What one address or one account may do within a while: look up unknown
// names, register accounts, upload bytes. Counted in the store, so that
// every instance of the server sees the same counts.

#include <cstdint>
#include <optional>
#include <string>

#include "handlers/Context.h"
#include "http/Request.h"

namespace snapora::server {

struct RateLimit {
    std::int64_t most;     // this many within
    std::int64_t seconds;  // this long
};

inline constexpr RateLimit MissesPerAddress{60, 300};             // unknown names looked up
inline constexpr RateLimit RegistrationsPerAddress{5, 24 * 3600};  // accounts made
inline constexpr RateLimit RegistrationsInTotal{100, 3600};
inline constexpr std::int64_t QuotaSeconds = 24 * 3600;           // upload quotas count a rolling day

// The address a limit counts: IPv4 as it is, IPv6 by its /64 network
// (one subscriber gets a whole network).
std::string AddressKey(const std::string& address);

bool TooManyMisses(Context& context, const Request& request);
void CountMiss(Context& context, const Request& request);

enum class Registration { Allowed, Closed, AddressLimit, TotalLimit };
Registration MayRegister(Context& context, const Request& request);
void CountRegistration(Context& context, const Request& request);

enum class UploadRoom { Fine, DailyQuota, DiskFull };
// Whether `bytes` more fit the day's quota of the account (or, without one,
// of the address) and the data folder's free-space floor.
UploadRoom RoomForUpload(Context& context, const Request& request, std::optional<std::int64_t> accountId,
                         std::uint64_t bytes);
void CountUpload(Context& context, const Request& request, std::optional<std::int64_t> accountId,
                 std::uint64_t bytes);

}  // namespace snapora::server
