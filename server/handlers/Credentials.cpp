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
    bool right = false;
    if (CleanUserName(userName) == userName && password.size() <= MaxPasswordLength) {
        account = context.store.FindAccount(userName);
        right = VerifyPassword(account ? account->passwordHash : DummyHash(), password) && account;
    }
    if (!right) {
        context.throttle.Failed(userName, address, now);
        return check;
    }
    context.throttle.Succeeded(userName, address);
    check.outcome = account->disabled ? AccountCheck::Outcome::Disabled : AccountCheck::Outcome::Accepted;
    if (!account->disabled) check.account = account;
    return check;
}

bool IsToken(const std::string& value) {
    if (value.size() != 64) return false;
    for (char c : value)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::string SetCookie(const std::string& name, const std::string& value, long maxAge, const char* sameSite,
                      bool secure) {
    return name + "=" + value + "; Path=/; Max-Age=" + std::to_string(maxAge) + "; HttpOnly; SameSite=" + sameSite +
           (secure ? "; Secure" : "");
}

std::string ClientToken(const Request& request, Response& response) {
    std::string token = request.Cookie(ClientCookie);
    if (IsToken(token)) return token;
    token = RandomHex(32);
    response.headers.emplace_back("Set-Cookie",
                                  SetCookie(ClientCookie, token, 365L * 24 * 3600, "Lax", request.secure));
    return token;
}

std::string ClientHash(const Context& context, const std::string& token) {
    return KeyedHash(context.secret, "client:" + token);
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
        response.headers.emplace_back("Set-Cookie", SetCookie(FormCookie, cookie, 24L * 3600, "Strict", request.secure));
    }
    return KeyedHash(context.secret, "form:" + cookie);
}

bool FormTokenValid(Context& context, const Request& request) {
    std::string cookie = request.Cookie(FormCookie);
    return IsToken(cookie) && SameText(request.Field("csrf"), KeyedHash(context.secret, "form:" + cookie));
}

}  // namespace snapora::server
