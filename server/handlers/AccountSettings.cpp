// The account's own settings: a new password (the old one required), all of
// its screenshots deleted at once, and the account deleted with everything
// it uploaded (its password required). Every form carries the CSRF token.

#include "auth/Passwords.h"
#include "handlers/AccountForms.h"
#include "handlers/Credentials.h"
#include "handlers/Gallery.h"
#include "handlers/PageFrame.h"
#include "text/Cp1252.h"
#include "text/Html.h"

namespace snapora::server {

namespace {

constexpr const char* Throttled =
    "Zu viele fehlgeschlagene Versuche. Bitte versuchen Sie es in einigen Minuten noch einmal.";
constexpr const char* BackToList = "<p><a href=\"/account.htm\">Zurück zu meinen Screenshots</a></p>";

// A page with a form: its CSRF token in `csrf`, its cookie (when new) on the response.
Response FormPage(Context& context, const Request& request, const std::string& title,
                  const std::function<std::string(const std::string& csrf)>& body, int status = 200) {
    Response cookies;
    const std::string token = FormToken(context, request, cookies);
    Response page = PageResponse(title, body(Hidden("csrf", token)), status);
    page.headers.insert(page.headers.end(), cookies.headers.begin(), cookies.headers.end());
    return page;
}

// "verliert alle seine 3 Screenshots", "wird mit allen seinen 3 Screenshots gelöscht"
std::string Count(std::size_t screenshots) {
    return screenshots == 1 ? std::string("seinen einen Screenshot") : "alle seine " + std::to_string(screenshots) + " Screenshots";
}
std::string WithCount(std::size_t screenshots) {
    if (screenshots == 0) return "";
    return screenshots == 1 ? std::string(" mit seinem einen Screenshot")
                            : " mit allen seinen " + std::to_string(screenshots) + " Screenshots";
}

Response PasswordForm(Context& context, const Request& request, const std::string& error, int status = 200) {
    return FormPage(context, request, "Passwort ändern", [&](const std::string& csrf) {
        return "<h1>Passwort ändern</h1>\n" + Message(error) +
               "<form class=\"box\" method=\"post\" action=\"/account.htm?action=password\">" + csrf +
               "\n<label for=\"oldpassword\">Bisheriges Passwort</label><input type=\"password\" id=\"oldpassword\" "
               "name=\"oldpassword\" autocomplete=\"current-password\" required>\n"
               "<label for=\"password\">Neues Passwort (mindestens 6 Zeichen)</label><input type=\"password\" "
               "id=\"password\" name=\"password\" autocomplete=\"new-password\" required>\n"
               "<label for=\"password2\">Neues Passwort wiederholen</label><input type=\"password\" id=\"password2\" "
               "name=\"password2\" autocomplete=\"new-password\" required>\n"
               "<button type=\"submit\">Passwort ändern</button></form>\n" + BackToList;
    }, status);
}

Response ChangePassword(Context& context, const Request& request, const Account& account) {
    if (!FormTokenValid(context, request)) return PasswordForm(context, request, Expired, 403);
    const std::string password = Utf8FromEither(request.Field("password"));
    if (password.size() < MinPasswordLength || password.size() > MaxPasswordLength)
        return PasswordForm(context, request, "Das neue Passwort muss mindestens 6 Zeichen lang sein.");
    if (password != Utf8FromEither(request.Field("password2")))
        return PasswordForm(context, request, "Die beiden neuen Passwörter stimmen nicht überein.");
    return OnPasswordPool([&context, request, account, password] {
        AccountCheck check = CheckAccount(context, account.userName, Utf8FromEither(request.Field("oldpassword")),
                                          request.remoteAddress);
        if (check.outcome == AccountCheck::Outcome::Throttled) return PasswordForm(context, request, Throttled, 429);
        if (check.outcome != AccountCheck::Outcome::Accepted)
            return PasswordForm(context, request, "Das bisherige Passwort ist falsch.", 403);
        context.store.SetPasswordHash(account.id, HashPassword(password));
        // Every login ended with the old password; this browser gets a new one.
        return LogIn(context, request, account, "/account.htm?done=password");
    });
}

Response DeleteAllForm(Context& context, const Request& request, const Account& account, const std::string& error = "",
                       int status = 200) {
    const std::size_t count = context.store.ScreenshotsOfAccount(account.id).size();
    return FormPage(context, request, "Alle Screenshots löschen", [&](const std::string& csrf) {
        std::string body = "<h1>Alle Screenshots löschen</h1>\n" + Message(error);
        if (count == 0)
            return body + "<p class=\"notice\">Mit diesem Konto sind keine Screenshots hochgeladen.</p>\n" + BackToList;
        return body + "<p class=\"warning\">Das Konto <strong>" + EscapeHtml(account.userName) + "</strong> verliert " +
               Count(count) +
               " für immer: Ihre Adressen führen danach ins Leere, auch in Sessions. Das lässt sich nicht "
               "rückgängig machen.</p>\n<form method=\"post\" action=\"/account.htm?action=deleteall\">" + csrf +
               "<button class=\"danger\" type=\"submit\">Ja, " + std::to_string(count) +
               (count == 1 ? " Screenshot" : " Screenshots") + " endgültig löschen</button></form>\n"
               "<p><a href=\"/account.htm\">Abbrechen</a></p>";
    }, status);
}

Response DeleteAll(Context& context, const Request& request, const Account& account) {
    if (!FormTokenValid(context, request)) return DeleteAllForm(context, request, account, Expired, 403);
    AnnounceDeleted(context, context.store.DeleteScreenshotsOfAccount(account.id));
    return SeeOther("/account.htm?done=deleteall");
}

Response DeleteAccountForm(Context& context, const Request& request, const Account& account,
                           const std::string& error = "", int status = 200) {
    const std::size_t count = context.store.ScreenshotsOfAccount(account.id).size();
    return FormPage(context, request, "Konto löschen", [&](const std::string& csrf) {
        return "<h1>Konto löschen</h1>\n" + Message(error) + "<p class=\"warning\">Das Konto <strong>" +
               EscapeHtml(account.userName) + "</strong> wird" + WithCount(count) +
               " endgültig gelöscht: Die Adressen der Screenshots führen danach ins Leere, und der Benutzername wird "
               "frei. Das lässt sich nicht rückgängig machen.</p>\n"
               "<form class=\"box\" method=\"post\" action=\"/account.htm?action=deleteaccount\">" + csrf +
               "\n<label for=\"password\">Zur Bestätigung Ihr Passwort</label><input type=\"password\" id=\"password\" "
               "name=\"password\" autocomplete=\"current-password\" required>\n"
               "<button class=\"danger\" type=\"submit\">Konto und alle Screenshots endgültig löschen</button></form>\n"
               "<p><a href=\"/account.htm\">Abbrechen</a></p>";
    }, status);
}

// On the password pool.
Response DeleteAccountChecked(Context& context, const Request& request, const Account& account) {
    AccountCheck check = CheckAccount(context, account.userName, Utf8FromEither(request.Field("password")),
                                      request.remoteAddress);
    if (check.outcome == AccountCheck::Outcome::Throttled) return DeleteAccountForm(context, request, account, Throttled, 429);
    if (check.outcome != AccountCheck::Outcome::Accepted)
        return DeleteAccountForm(context, request, account, "Das Passwort ist falsch. Das Konto wurde nicht gelöscht.", 403);
    std::vector<Screenshot> deleted = context.store.DeleteAccount(account.id);
    AnnounceDeleted(context, deleted);
    Response page = PageResponse(
        "Konto gelöscht", "<h1>Konto gelöscht</h1>\n<p class=\"notice\" role=\"status\">Das Konto <strong>" +
                              EscapeHtml(account.userName) + "</strong> und " +
                              (deleted.size() == 1 ? std::string("sein Screenshot sind")
                                                   : "seine " + std::to_string(deleted.size()) + " Screenshots sind") +
                              " gelöscht.</p>\n<p><a href=\"/\">Zur Startseite</a></p>");
    page.headers.emplace_back("Set-Cookie", SetCookie(LoginCookie, "", 0, "Lax", request.secure));
    return page;
}

Response DeleteAccount(Context& context, const Request& request, const Account& account) {
    if (!FormTokenValid(context, request)) return DeleteAccountForm(context, request, account, Expired, 403);
    return OnPasswordPool([&context, request, account] { return DeleteAccountChecked(context, request, account); });
}

}  // namespace

std::optional<Response> AccountSettingsPage(Context& context, const Request& request) {
    const std::string action = request.Query("action");
    if (action != "password" && action != "deleteall" && action != "deleteaccount") return std::nullopt;
    std::optional<Account> account = LoggedInAccount(context, request);
    if (!account) return LoginForm(context, request, "", "Bitte melden Sie sich zuerst an.", 403);
    const bool post = request.method == "POST";
    if (action == "password") return post ? ChangePassword(context, request, *account) : PasswordForm(context, request, "");
    if (action == "deleteall") return post ? DeleteAll(context, request, *account) : DeleteAllForm(context, request, *account);
    return post ? DeleteAccount(context, request, *account) : DeleteAccountForm(context, request, *account);
}

}  // namespace snapora::server
