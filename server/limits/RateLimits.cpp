#include "limits/RateLimits.h"

#include <arpa/inet.h>

#include <algorithm>

namespace snapora::server {

namespace {

std::string UploadKey(const Request& request, std::optional<std::int64_t> accountId) {
    return accountId ? "upload-account|" + std::to_string(*accountId) : "upload-address|" + AddressKey(request.remoteAddress);
}

}  // namespace

std::string AddressKey(const std::string& address) {
    in6_addr v6{};
    if (address.find(':') == std::string::npos || inet_pton(AF_INET6, address.c_str(), &v6) != 1) return address;
    char text[INET6_ADDRSTRLEN];
    for (int i = 8; i < 16; ++i) v6.s6_addr[i] = 0;
    inet_ntop(AF_INET6, &v6, text, sizeof text);
    return std::string(text) + "/64";
}

bool TooManyMisses(Context& context, const Request& request) {
    return context.store.Counted("miss|" + AddressKey(request.remoteAddress),
                                 context.Now() - MissesPerAddress.seconds) >= MissesPerAddress.most;
}

void CountMiss(Context& context, const Request& request) {
    context.store.Count("miss|" + AddressKey(request.remoteAddress), 1, context.Now());
}

Registration MayRegister(Context& context, const Request& request) {
    if (!context.settings.registrationOpen) return Registration::Closed;
    const std::int64_t now = context.Now();
    if (context.store.Counted("register|" + AddressKey(request.remoteAddress), now - RegistrationsPerAddress.seconds) >=
        RegistrationsPerAddress.most)
        return Registration::AddressLimit;
    if (context.store.Counted("register", now - RegistrationsInTotal.seconds) >= RegistrationsInTotal.most)
        return Registration::TotalLimit;
    return Registration::Allowed;
}

void CountRegistration(Context& context, const Request& request) {
    context.store.Count("register|" + AddressKey(request.remoteAddress), 1, context.Now());
    context.store.Count("register", 1, context.Now());
}

UploadRoom RoomForUpload(Context& context, const Request& request, std::optional<std::int64_t> accountId,
                         std::uint64_t bytes) {
    const ServerSettings& settings = context.settings;
    const std::uint64_t quota = accountId ? settings.quotaAccountBytes : settings.quotaAnonymousBytes;
    const std::int64_t used = context.store.Counted(UploadKey(request, accountId), context.Now() - QuotaSeconds);
    if (std::uint64_t(std::max<std::int64_t>(used, 0)) + bytes > quota) return UploadRoom::DailyQuota;
    const std::uint64_t free = context.store.FreeBytes();
    if (free < bytes || free - bytes < settings.minFreeBytes) return UploadRoom::DiskFull;
    return UploadRoom::Fine;
}

void CountUpload(Context& context, const Request& request, std::optional<std::int64_t> accountId,
                 std::uint64_t bytes) {
    context.store.Count(UploadKey(request, accountId), std::int64_t(bytes), context.Now());
}

}  // namespace snapora::server
