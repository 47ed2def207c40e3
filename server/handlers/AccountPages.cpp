#include "auth/Passwords.h"
#include "handlers/AccountForms.h"
#include "handlers/Credentials.h"
#include "handlers/Gallery.h"
#include "handlers/PageFrame.h"
#include "handlers/Pages.h"
#include "limits/RateLimits.h"
#include "text/Cp1252.h"
#include "text/Html.h"
#include "text/Names.h"

namespace snapora::server {

namespace {
constexpr long LoginSeconds = 30L * 24 * 3600;
}  // namespace

std::string Message(const std::string& error) {
    return error.empty() ? std::string() : "<p class=\"error\" role=\"alert\">" + EscapeHtml(error) + "</p>\n";
}

std::string Hidden(const std::string& name, const std::string& value) {
    return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + EscapeHtml(value) + "\">";
}

Response LoginForm(Context& context, const Request& request, const std::string& userName, const std::string& error,
                   int status) {
    Response response;
    std::string token = FormToken(context, request, response);
    Response page = PageResponse(
        "Anmelden",
        "<h1>Anmelden</h1>\n" + Message(error) +
            "<form class=\"box\" method=\"post\" action=\"/account.htm?action=login\">" + Hidden("csrf", token) +
            "\n<label for=\"username\">Benutzername</label><input type=\"text\" id=\"username\" name=\"username\" "
            "autocomplete=\"username\" required value=\"" +
            EscapeHtml(userName) +
            "\">\n<label for=\"password\">Passwort</label><input type=\"password\" id=\"password\" name=\"password\" "
            "autocomplete=\"current-password\" required>\n<button type=\"submit\">Anmelden</button></form>\n"
            "<p>Noch kein Konto? <a href=\"/account.htm?action=register\">Konto anlegen</a></p>",
        status);
    page.headers.insert(page.headers.end(), response.headers.begin(), response.headers.end());
    return page;
}

namespace {

Response RegisterForm(Context& context, const Request& request, const std::string& userName,
                      const std::string& error, int status = 200) {
    Response response;
    std::string token = FormToken(context, request, response);
    Response page = PageResponse(
        "Konto anlegen",
        "<h1>Konto anlegen</h1>\n" + Message(error) +
            "<form class=\"box\" method=\"post\" action=\"/account.htm?action=register\">" + Hidden("csrf", token) +
            "\n<label for=\"username\">Benutzername (3 bis 32 Zeichen: Buchstaben, Ziffern, - und _)</label>"
            "<input type=\"text\" id=\"username\" name=\"username\" autocomplete=\"username\" required value=\"" +
            EscapeHtml(userName) +
            "\">\n<label for=\"password\">Passwort (mindestens 6 Zeichen)</label><input type=\"password\" "
            "id=\"password\" name=\"password\" autocomplete=\"new-password\" required>\n"
            "<label for=\"password2\">Passwort wiederholen</label><input type=\"password\" id=\"password2\" "
            "name=\"password2\" autocomplete=\"new-password\" required>\n"
            "<button type=\"submit\">Konto anlegen</button></form>\n"
            "<p>Schon ein Konto? <a href=\"/account.htm?action=login\">Anmelden</a></p>",
        status);
    page.headers.insert(page.headers.end(), response.headers.begin(), response.headers.end());
    return page;
}

}  // namespace

// Starts a browser login: a fresh token in a cookie, only its hash in the store.
Response LogIn(Context& context, const Request& request, const Account& account, const std::string& location) {
    std::string token = RandomHex(32);
    context.store.AddLogin(KeyedHash(context.secret, "login:" + token), account.id, context.Now() + LoginSeconds);
    Response response = SeeOther(location);
    response.headers.emplace_back("Set-Cookie", SetCookie(LoginCookie, token, LoginSeconds, "Lax", request.secure));
    return response;
}

Response OnPasswordPool(std::function<Response()> run) {
    Response response;
    response.deferred = std::make_shared<Deferred>(Deferred{Deferred::Pool::Passwords, std::move(run), BusyPage});
    return response;
}

namespace {

Response RegistrationClosed(int status) {
    return PageResponse("Konto anlegen",
                        "<h1>Konto anlegen</h1>\n<p class=\"notice\">Neue Konten legt auf diesem Server nur der "
                        "Betreiber an.</p>\n<p>Schon ein Konto? <a href=\"/account.htm?action=login\">Anmelden</a></p>",
                        status);
}

// What the last form did, told once on the page it leads back to.
std::string DoneNotice(const std::string& done) {
    if (done == "password") return "<p class=\"notice\" role=\"status\">Ihr Passwort wurde geändert.</p>\n";
    if (done == "deleteall") return "<p class=\"notice\" role=\"status\">Alle Ihre Screenshots wurden gelöscht.</p>\n";
    return "";
}

Response AccountList(Context& context, const Request& request, const Account& account) {
    Response response;
    std::string token = FormToken(context, request, response);
    std::vector<Screenshot> shots = context.store.ScreenshotsOfAccount(account.id);
    std::string body = "<h1>Meine Screenshots</h1>\n<p>Angemeldet als <strong>" + EscapeHtml(account.userName) +
                       "</strong>.</p>\n" + DoneNotice(request.Query("done")) +
                       "<div class=\"actions\"><a href=\"/account.htm?action=password\">Passwort ändern</a>"
                       "<a href=\"/account.htm?action=deleteall\">Alle meine Screenshots löschen</a>"
                       "<a href=\"/account.htm?action=deleteaccount\">Konto löschen</a></div>\n"
                       "<form method=\"post\" action=\"/account.htm?action=logout\">" +
                       Hidden("csrf", token) + "<button type=\"submit\">Abmelden</button></form>\n";
    if (shots.empty()) body += "<p class=\"notice\">Noch keine Screenshots mit diesem Konto hochgeladen.</p>\n";
    body += "<ol class=\"shots\">\n";
    for (const Screenshot& shot : shots)
        body += GalleryItem(context, shot,
                            "<form method=\"post\" action=\"/account.htm?action=delete\">" + Hidden("csrf", token) +
                                Hidden("name", shot.name) +
                                "<button class=\"danger\" type=\"submit\">Löschen</button></form>");
    body += "</ol>";
    Response page = PageResponse("Meine Screenshots", body);
    page.headers.insert(page.headers.end(), response.headers.begin(), response.headers.end());
    return page;
}

Response Register(Context& context, const Request& request) {
    const std::string typed = Utf8FromEither(request.Field("username"));
    if (!context.settings.registrationOpen) return RegistrationClosed(403);
    if (!FormTokenValid(context, request)) return RegisterForm(context, request, typed, Expired, 403);
    std::optional<std::string> userName = CleanUserName(typed);
    const std::string password = Utf8FromEither(request.Field("password"));
    if (!userName || *userName != typed)
        return RegisterForm(context, request, typed,
                            "Der Benutzername muss 3 bis 32 Zeichen lang sein und darf nur Buchstaben, Ziffern, - "
                            "und _ enthalten.");
    if (password.size() < MinPasswordLength || password.size() > MaxPasswordLength)
        return RegisterForm(context, request, typed, "Das Passwort muss mindestens 6 Zeichen lang sein.");
    if (password != Utf8FromEither(request.Field("password2")))
        return RegisterForm(context, request, typed, "Die beiden Passwörter stimmen nicht überein.");
    constexpr const char* Taken = "Dieser Benutzername ist bereits vergeben.";
    if (context.store.FindAccount(*userName)) return RegisterForm(context, request, typed, Taken);
    switch (MayRegister(context, request)) {
        case Registration::Closed: return RegistrationClosed(403);
        case Registration::AddressLimit:
            return RegisterForm(context, request, typed,
                                "Von Ihrem Anschluss wurden heute schon genug Konten angelegt. Bitte versuchen Sie "
                                "es morgen noch einmal.",
                                429);
        case Registration::TotalLimit:
            return RegisterForm(context, request, typed,
                                "Zurzeit werden sehr viele Konten angelegt. Bitte versuchen Sie es in einer Stunde "
                                "noch einmal.",
                                429);
        case Registration::Allowed: break;
    }
    CountRegistration(context, request);  // now, not after the hashing: requests at once count too
    return OnPasswordPool([&context, request, typed, name = *userName, password] {
        std::optional<Account> account = context.store.CreateAccount(name, HashPassword(password), context.Now());
        if (!account) return RegisterForm(context, request, typed, Taken);
        return LogIn(context, request, *account);
    });
}

Response Login(Context& context, const Request& request) {
    const std::string userName = Utf8FromEither(request.Field("username"));
    if (!FormTokenValid(context, request)) return LoginForm(context, request, userName, Expired, 403);
    return OnPasswordPool([&context, request, userName] {
        AccountCheck check =
            CheckAccount(context, userName, Utf8FromEither(request.Field("password")), request.remoteAddress);
        switch (check.outcome) {
            case AccountCheck::Outcome::Accepted: return LogIn(context, request, *check.account);
            case AccountCheck::Outcome::Throttled:
                return LoginForm(context, request, userName,
                                 "Zu viele fehlgeschlagene Anmeldungen. Bitte versuchen Sie es in einigen Minuten "
                                 "noch einmal.",
                                 429);
            case AccountCheck::Outcome::Disabled:
                return LoginForm(context, request, userName, "Dieses Konto ist gesperrt.", 403);
            default: return LoginForm(context, request, userName, "Benutzername oder Passwort ist falsch.");
        }
    });
}

// Only the site's own form logs out (a foreign page cannot), and the login
// ends in the store, not only in this browser.
Response Logout(Context& context, const Request& request) {
    if (!FormTokenValid(context, request)) {
        std::optional<Account> account = LoggedInAccount(context, request);
        if (!account) return SeeOther("/account.htm?action=login");
        Response page = AccountList(context, request, *account);
        page.status = 403;
        return page;
    }
    std::string token = request.Cookie(LoginCookie);
    if (IsToken(token)) context.store.RemoveLogin(KeyedHash(context.secret, "login:" + token));
    Response response = SeeOther("/account.htm?action=login");
    response.headers.emplace_back("Set-Cookie", SetCookie(LoginCookie, "", 0, "Lax", request.secure));
    return response;
}

Response Delete(Context& context, const Request& request) {
    std::optional<Account> account = LoggedInAccount(context, request);
    if (!account) return LoginForm(context, request, "", "Bitte melden Sie sich zuerst an.", 403);
    if (!FormTokenValid(context, request)) return AccountList(context, request, *account);
    std::optional<Screenshot> shot;
    const std::string name = Utf8FromEither(request.Field("name"));
    if (CleanName(name) == name) shot = context.store.FindScreenshot(name);
    if (shot && shot->accountId == account->id) {
        context.store.DeleteScreenshot(shot->id);
        AnnounceDeleted(context, {*shot});
    }
    return SeeOther("/account.htm");
}

}  // namespace

Response AccountPage(Context& context, const Request& request) {
    const std::string action = request.Query("action");
    if (request.method == "POST") {
        if (request.bodyMalformed || request.bodyTooLarge)
            return PageResponse("Fehler", "<h1>Fehler</h1><p>Die Anfrage war fehlerhaft.</p>", 400);
        if (action == "register") return Register(context, request);
        if (action == "login") return Login(context, request);
        if (action == "logout") return Logout(context, request);
        if (action == "delete") return Delete(context, request);
        if (std::optional<Response> settings = AccountSettingsPage(context, request)) return *settings;
        return NotFoundPage();
    }
    if (std::optional<Response> settings = AccountSettingsPage(context, request)) return *settings;
    std::optional<Account> account = LoggedInAccount(context, request);
    if (action == "register")
        return context.settings.registrationOpen ? RegisterForm(context, request, "", "") : RegistrationClosed(200);
    const std::string userName = Utf8FromEither(request.Query("username"));
    if (account && (action.empty() || userName.empty() || CleanUserName(userName) == account->userName))
        return AccountList(context, request, *account);
    return LoginForm(context, request, userName, "");
}

}  // namespace snapora::server
