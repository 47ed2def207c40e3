#include "handlers/Credentials.h"

#include "auth/Passwords.h"
#include "text/Names.h"

namespace snapora::server {

AccountCheck CheckAccount(Context& context, const std::string& userName, const std::string& password,
                          const std::string& address) {
    AccountCheck check;
    const std::int64_t now = context.Now();
    if (!context.throttle.Allowed(userName, address, now)) {
        check.outcome = AccountCheck::Outcome::Throttled;
        return check;
    }
    std::optional<Account> account;
    if (CleanUserName(userName) == userName && password.size() <= MaxPasswordLength)
        account = context.store.FindAccount(userName);
    if (account && VerifyPassword(account->passwordHash, password)) {
        context.throttle.Succeeded(userName);
        check.outcome = AccountCheck::Outcome::Accepted;
        check.account = account;
    } else {
        context.throttle.Failed(userName, address, now);
    }
    return check;
}

bool IsToken(const std::string& value) {
    if (value.size() != 64) return false;
    for (char c : value)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::string SetCookie(const std::string& name, const std::string& value, long maxAge, const char* sameSite) {
    return name + "=" + value + "; Path=/; Max-Age=" + std::to_string(maxAge) + "; HttpOnly; SameSite=" + sameSite;
}

std::string ClientToken(const Request& request, Response& response) {
    std::string token = request.Cookie(ClientCookie);
    if (IsToken(token)) return token;
    token = RandomHex(32);
    response.headers.emplace_back("Set-Cookie", SetCookie(ClientCookie, token, 365L * 24 * 3600, "Lax"));
    return token;
}

std::optional<Account> LoggedInAccount(Context& context, const Request& request) {
    std::string token = request.Cookie(LoginCookie);
    if (!IsToken(token)) return std::nullopt;
    return context.store.FindLogin(KeyedHash(context.secret, "login:" + token), context.Now());
}

std::string FormToken(Context& context, const Request& request, Response& response) {
    std::string cookie = request.Cookie(FormCookie);
    if (!IsToken(cookie)) {
        cookie = RandomHex(32);
        response.headers.emplace_back("Set-Cookie", SetCookie(FormCookie, cookie, 24L * 3600, "Strict"));
    }
    return KeyedHash(context.secret, "form:" + cookie);
}

bool FormTokenValid(Context& context, const Request& request) {
    std::string cookie = request.Cookie(FormCookie);
    return IsToken(cookie) && SameText(request.Field("csrf"), KeyedHash(context.secret, "form:" + cookie));
}

}  // namespace snapora::server
