#pragma once
// What the account pages share: form pieces, the login form, starting a
// login, and the account's own settings (password, deleting screenshots,
// deleting the account).

#include <functional>
#include <optional>
#include <string>

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"

namespace snapora::server {

inline constexpr const char* Expired = "Das Formular war abgelaufen. Bitte versuchen Sie es noch einmal.";

std::string Message(const std::string& error);  // an error paragraph, or nothing
std::string Hidden(const std::string& name, const std::string& value);
Response LoginForm(Context& context, const Request& request, const std::string& userName, const std::string& error,
                   int status = 200);
// A fresh browser login for the account, then on to location (its cookie Secure over HTTPS).
Response LogIn(Context& context, const Request& request, const Account& account,
               const std::string& location = "/account.htm");
// Password work goes to its pool; when the pool is full, a busy page at once.
Response OnPasswordPool(std::function<Response()> run);

// GET and POST of /account.htm with action password, deleteall or
// deleteaccount; nullopt for any other action.
std::optional<Response> AccountSettingsPage(Context& context, const Request& request);

}  // namespace snapora::server
