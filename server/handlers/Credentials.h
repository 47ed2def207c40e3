#pragma once
// Account checks shared by the protocol and the pages, and the cookies that
// identify a client (the program) and a browser login.

#include <optional>
#include <string>

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"

namespace snapora::server {

struct AccountCheck {
    enum class Outcome { Accepted, Wrong, Throttled, Disabled } outcome = Outcome::Wrong;
    std::optional<Account> account;
};

// User name and password in UTF-8; counts failures per name and address.
// Slow on purpose (Argon2id, also for names nobody has): call it only from
// deferred work on the password pool.
AccountCheck CheckAccount(Context& context, const std::string& userName, const std::string& password,
                          const std::string& address);

inline constexpr const char* ClientCookie = "snapora_client";
inline constexpr const char* LoginCookie = "snapora_login";
inline constexpr const char* FormCookie = "snapora_form";

// A cookie value the server issued: 64 lower-case hex digits.
bool IsToken(const std::string& value);
// The client's token from its cookie, or a new one with its Set-Cookie added to the response.
std::string ClientToken(const Request& request, Response& response);
// What the store keeps of a client token: its keyed hash.
std::string ClientHash(const Context& context, const std::string& token);
// Secure cookies are never sent over plain HTTP; set them so for requests that came over HTTPS.
std::string SetCookie(const std::string& name, const std::string& value, long maxAge, const char* sameSite,
                      bool secure = false);

// The browser's logged-in account, if its login cookie is current.
std::optional<Account> LoggedInAccount(Context& context, const Request& request);

// Forms carry a token derived from a cookie (double submit, keyed with the server's secret).
std::string FormToken(Context& context, const Request& request, Response& response);
bool FormTokenValid(Context& context, const Request& request);

}  // namespace snapora::server
