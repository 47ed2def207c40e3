#include "handlers/Router.h"

#include "base/Strings.h"
#include "handlers/Gallery.h"
#include "handlers/PageFrame.h"
#include "handlers/Pages.h"
#include "handlers/Protocol.h"
#include "limits/RateLimits.h"
#include "text/Cp1252.h"

namespace snapora::server {

namespace {

constexpr const char* InternalError = "Interner Fehler des Servers. Bitte versuchen Sie es später noch einmal.";
constexpr const char* Unavailable =
    "Der Dienst ist gerade nicht erreichbar. Bitte versuchen Sie es in einer Minute noch einmal.";

// The database is away for a moment (a restart): say so, and when to come back.
Response UnavailablePage() {
    Response page = PageResponse("Nicht erreichbar",
                                 "<h1>Gleich wieder da</h1><p>Snapora ist gerade nicht erreichbar. Bitte laden Sie "
                                 "die Seite in einer Minute neu.</p>",
                                 503);
    page.headers.emplace_back("Retry-After", "30");
    return page;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

Response LookUp(Context& context, const Request& request);

Response Route(Context& context, const Request& request) {
    const std::string& path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";

    // The program's requests: always status 200 and a reply form.
    if (request.overloaded) return IsProtocolRequest(request) ? BusyProtocolReply() : BusyPage();
    if (path == "/upload.php") return HandleUpload(context, request);
    if (path == "/rename.php") return HandleRename(context, request);
    if (path == "/loginsession.php") return HandleLoginSession(context, request);
    if (path == "/account.htm" && request.Query("action") == "testlogin") return HandleTestLogin(context, request);

    if (path == "/account.htm") return AccountPage(context, request);
    if (!get) {
        Response refused = PageResponse("Nicht erlaubt", "<h1>Nicht erlaubt</h1>", 405);
        refused.headers.emplace_back("Allow", "GET, HEAD");
        return refused;
    }
    if (path == "/" || path == "/index.htm" || path == "/index.html") return HomePage(context);
    if (path == "/download.htm") return DownloadPage(context);
    if (path == "/spenden.htm") return DonationPage();
    if (path == "/faq.htm") return FaqPage();
    if (path == "/static/site.css") return StyleSheet();
    if (path == "/static/session.js") return SessionScript();
    if (path == "/favicon.ico") {  // the site has no icon; say so without a "not found"
        Response none;
        none.status = 204;
        return none;
    }
    if (StartsWith(path, "/downloads/")) return DownloadFile(context, path.substr(11));

    // Everything else looks a name up: an address that keeps asking for
    // names nobody has is guessing, and is told to wait.
    if (TooManyMisses(context, request)) return TooManyMissesPage();
    Response found = LookUp(context, request);
    if (found.status == 404) CountMiss(context, request);
    return found;
}

// Names may arrive as UTF-8 (browsers) or as Windows-1252 (the program's own addresses).
Response LookUp(Context& context, const Request& request) {
    const std::string& path = request.path;
    if (StartsWith(path, "/~")) {
        std::string rest = path.substr(2);
        if (EndsWith(rest, "/events")) return SessionEvents(context, request, Utf8FromEither(rest.substr(0, rest.size() - 7)));
        return SessionPage(context, Utf8FromEither(rest));
    }
    std::string name = Utf8FromEither(path.substr(1));
    if (EndsWith(name, ".thumb.jpg")) return ThumbnailPicture(context, request, name.substr(0, name.size() - 10));
    if (EndsWith(name, ".jpg")) return RawPicture(context, name.substr(0, name.size() - 4));
    return ScreenshotPage(context, name);
}

// Security headers on every answer, also on those that deferred work brings
// later; a failing database or disk must not look like a broken connection
// to the program.
Response Finished(Context& context, const Request& request, const std::function<Response()>& produce) {
    Response response;
    try {
        response = produce();
    } catch (const std::exception& error) {
        // The database away for a moment is said as such; anything else is an internal error.
        const bool unavailable = dynamic_cast<const StoreUnavailable*>(&error) != nullptr;
        if (IsProtocolRequest(request))
            response = ProtocolReply(unavailable ? Unavailable : InternalError);
        else if (unavailable)
            response = UnavailablePage();
        else
            response = PageResponse("Fehler", "<h1>Interner Fehler</h1><p>Bitte versuchen Sie es später noch einmal.</p>",
                                    500);
    }
    if (response.deferred) {
        std::shared_ptr<Deferred> inner = response.deferred;
        auto outer = std::make_shared<Deferred>(*inner);
        outer->run = [&context, &request, inner] { return Finished(context, request, inner->run); };
        outer->busy = [&context, &request, inner] { return Finished(context, request, inner->busy); };
        response.deferred = outer;
        return response;
    }
    AddSecurityHeaders(response);
    if (request.secure) response.headers.emplace_back("Strict-Transport-Security", "max-age=31536000");
    return response;
}

}  // namespace

void AddSecurityHeaders(Response& response) {
    response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    response.headers.emplace_back("Content-Security-Policy",
                                  "default-src 'none'; img-src 'self'; style-src 'self'; script-src 'self'; "
                                  "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
    response.headers.emplace_back("X-Frame-Options", "DENY");
    response.headers.emplace_back("Referrer-Policy", "same-origin");
}

Response HandleRequest(Context& context, const Request& request) {
    return Finished(context, request, [&context, &request] {
        if (request.path.empty() || request.path[0] != '/' || request.path.find('\0') != std::string::npos)
            return NotFoundPage();
        return Route(context, request);
    });
}

}  // namespace snapora::server
