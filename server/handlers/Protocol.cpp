#include "handlers/Protocol.h"

#include "auth/Passwords.h"
#include "handlers/Credentials.h"
#include "imaging/JpegCheck.h"
#include "limits/RateLimits.h"
#include "text/Cp1252.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

constexpr const char* Malformed = "Die Anfrage war unvollständig oder fehlerhaft.";
constexpr const char* NoPicture = "Es wurde kein Bild übertragen.";
constexpr const char* NotJpeg = "Die hochgeladene Datei ist kein JPEG-Bild.";
constexpr const char* WrongAccount = "Benutzername oder Passwort ist falsch.";
constexpr const char* DisabledAccount = "Dieses Konto ist gesperrt.";
constexpr const char* Throttled =
    "Zu viele fehlgeschlagene Anmeldungen. Bitte versuchen Sie es in einigen Minuten noch einmal.";
constexpr const char* NotStored = "Der Screenshot konnte nicht gespeichert werden. Bitte versuchen Sie es später noch einmal.";
constexpr const char* QuotaReached =
    "Das Tageskontingent für Uploads ist erschöpft. Bitte versuchen Sie es morgen noch einmal.";
constexpr const char* DiskLow =
    "Der Server hat zurzeit keinen Speicherplatz frei. Bitte versuchen Sie es später noch einmal.";
constexpr const char* Busy = "Der Server ist gerade ausgelastet. Bitte versuchen Sie es gleich noch einmal.";
constexpr const char* TooManyUnknown =
    "Zu viele Anfragen nach unbekannten Namen. Bitte versuchen Sie es in einigen Minuten noch einmal.";
constexpr const char* UnknownScreenshot = "Diesen Screenshot gibt es nicht.";
constexpr const char* NotYours = "Sie dürfen diesen Screenshot nicht umbenennen.";
constexpr const char* EmptyName = "Bitte geben Sie einen Namen ein.";
constexpr const char* UnsafeName =
    "Der Name darf nur Buchstaben, Ziffern, - und _ enthalten und höchstens 40 Zeichen lang sein.";
constexpr const char* TakenName = "Dieser Name ist bereits vergeben.";

Response BusyReply() { return ProtocolReply(Busy); }

Response DeferTo(Deferred::Pool pool, std::function<Response()> run) {
    Response response;
    response.deferred = std::make_shared<Deferred>(Deferred{pool, std::move(run), BusyReply});
    return response;
}

// The account named in a protocol request (on the password pool): nullopt
// with `refusal` empty for an anonymous request, with the refusal text otherwise.
std::optional<Account> RequestAccount(Context& context, const Request& request, std::string& refusal) {
    const std::string userName = Utf8From1252(request.Field("username"));
    if (userName.empty()) return std::nullopt;
    AccountCheck check =
        CheckAccount(context, userName, Utf8From1252(request.Field("password")), request.remoteAddress);
    if (check.outcome == AccountCheck::Outcome::Throttled) refusal = Throttled;
    if (check.outcome == AccountCheck::Outcome::Wrong) refusal = WrongAccount;
    if (check.outcome == AccountCheck::Outcome::Disabled) refusal = DisabledAccount;
    return check.account;
}

// Runs `then` with the request's account, checked on the password pool when
// the request names one, at once for an anonymous request.
Response WithAccount(Context& context, const Request& request,
                     std::function<Response(const std::optional<Account>&)> then) {
    if (request.Field("username").empty()) return then(std::nullopt);
    return DeferTo(Deferred::Pool::Passwords, [&context, &request, then = std::move(then)] {
        std::string refusal;
        std::optional<Account> account = RequestAccount(context, request, refusal);
        return refusal.empty() ? then(account) : ProtocolReply(refusal);
    });
}

// A session takes uploads only from its owner: the client that opened it,
// or the account that client uploads with.
bool OwnsSession(const Session& session, const std::string& clientHash, const std::optional<Account>& account) {
    return SameText(session.ownerHash, clientHash) ||
           (account && session.ownerAccount && *session.ownerAccount == account->id);
}

// On the picture pool: the checks that need the account, decoding, storing.
Response StoreUpload(Context& context, const Request& request, const std::optional<Account>& account,
                     const std::string& clientHash) {
    const UploadedFile& file = request.files.at("screenshot");
    const std::optional<std::int64_t> accountId = account ? std::optional(account->id) : std::nullopt;
    NewScreenshot screenshot;
    screenshot.uploadedAt = context.Now();
    if (request.HasField("sessionname")) {
        std::optional<std::string> name = CleanName(Utf8From1252(request.Field("sessionname")));
        std::optional<Session> session;
        if (name) session = context.store.FindSession(*name);
        if (!session || screenshot.uploadedAt - session->lastActive > context.settings.sessionIdle ||
            !OwnsSession(*session, clientHash, account))
            return ProtocolReply("wrongsession");
        context.store.TouchSession(*name, screenshot.uploadedAt, context.settings.sessionIdle);
        if (account && !session->ownerAccount) context.store.SetSessionAccount(session->id, account->id);
        screenshot.sessionId = session->id;
    }
    switch (RoomForUpload(context, request, accountId, file.size)) {
        case UploadRoom::DailyQuota: return ProtocolReply(QuotaReached);
        case UploadRoom::DiskFull: return ProtocolReply(DiskLow);
        case UploadRoom::Fine: break;
    }
    const bool inMemory = file.path.empty();
    std::optional<std::string> staged = inMemory ? std::nullopt : ReadUpload(file.path);
    std::optional<ScaledPicture> checked =
        inMemory ? CheckJpeg(file.bytes) : staged ? CheckJpeg(*staged) : std::nullopt;
    if (!checked) return ProtocolReply(NotJpeg);
    staged.reset();

    screenshot.description = Utf8From1252(request.Field("description"));
    std::erase(screenshot.description, '\0');  // a title has none; a database's text cannot hold one
    screenshot.clientHash = clientHash;
    screenshot.accountId = accountId;
    screenshot.width = checked->size.width;
    screenshot.height = checked->size.height;
    Screenshot stored;
    try {
        stored = inMemory ? context.store.AddScreenshotBytes(screenshot, file.bytes)
                          : context.store.AddScreenshot(screenshot, file.path);
    } catch (const StoreError&) {
        return ProtocolReply(NotStored);
    }
    CountUpload(context, request, accountId, file.size);
    context.thumbnails.Prepare(stored, std::move(*checked));  // ready before the list pages ask, as a rule
    if (stored.sessionId) context.board.Changed(*stored.sessionId);
    return ProtocolReply("ok|" + context.settings.latestVersion + "|" + context.AddressOf(request, stored.name));
}

Response RenameAs(Context& context, const Request& request, const Screenshot& screenshot,
                  const std::optional<Account>& account) {
    bool allowed = screenshot.accountId
                       ? account && account->id == *screenshot.accountId
                       : IsToken(request.Cookie(ClientCookie)) &&
                             SameText(screenshot.clientHash, ClientHash(context, request.Cookie(ClientCookie)));
    if (!allowed) return ProtocolReply(NotYours);

    const std::string wanted = Utf8From1252(request.Field("newfilename"));
    if (wanted.find_first_not_of(" \t\r\n") == std::string::npos) return ProtocolReply(EmptyName);
    std::optional<std::string> newName = CleanName(wanted);
    if (!newName) return ProtocolReply(UnsafeName);
    if (!context.store.RenameScreenshot(screenshot.id, *newName)) return ProtocolReply(TakenName);
    return ProtocolReply(context.AddressOf(request, *newName));
}

// Adds the Set-Cookie lines of `cookies` to the reply, also to what deferred work brings.
Response WithCookies(Response reply, const Response& cookies) {
    return Finally(std::move(reply), [headers = cookies.headers](Response& final) {
        final.headers.insert(final.headers.end(), headers.begin(), headers.end());
    });
}

}  // namespace

Response ProtocolReply(const std::string& utf8) {
    Response response;
    response.body = Cp1252FromUtf8(utf8);
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

Response BusyProtocolReply() { return BusyReply(); }

bool IsProtocolRequest(const Request& request) {
    return request.path == "/upload.php" || request.path == "/rename.php" || request.path == "/loginsession.php" ||
           (request.path == "/account.htm" && request.Query("action") == "testlogin");
}

Response HandleUpload(Context& context, const Request& request) {
    if (request.bodyTooLarge) return ProtocolReply("toobig");
    if (request.bodyNotStored) return ProtocolReply(NotStored);
    if (request.bodyMalformed || request.method != "POST") return ProtocolReply(Malformed);
    auto file = request.files.find("screenshot");
    if (file == request.files.end() || file->second.size == 0) return ProtocolReply(NoPicture);
    if (file->second.size > context.settings.maxUpload) return ProtocolReply("toobig");

    Response cookies;
    const std::string clientHash = ClientHash(context, ClientToken(request, cookies));
    // The request, with the picture in it, is referred to, not copied: it outlives the work it defers.
    Response reply = WithAccount(context, request, [&context, &request, clientHash](const std::optional<Account>& account) {
        return DeferTo(Deferred::Pool::Pictures, [&context, &request, account, clientHash] {
            return StoreUpload(context, request, account, clientHash);
        });
    });
    return WithCookies(std::move(reply), cookies);
}

Response HandleRename(Context& context, const Request& request) {
    if (request.bodyMalformed || request.bodyTooLarge || request.bodyNotStored || request.method != "POST")
        return ProtocolReply(Malformed);
    if (TooManyMisses(context, request)) return ProtocolReply(TooManyUnknown);
    std::optional<std::string> currentName = CleanName(Utf8From1252(request.Field("filename")));
    std::optional<Screenshot> screenshot;
    if (currentName) screenshot = context.store.FindScreenshot(*currentName);
    if (currentName && !screenshot) screenshot = context.store.FindByFormerName(*currentName);
    if (!screenshot) {
        CountMiss(context, request);
        return ProtocolReply(UnknownScreenshot);
    }
    return WithAccount(context, request, [&context, request, shot = *screenshot](const std::optional<Account>& account) {
        return RenameAs(context, request, shot, account);
    });
}

Response HandleLoginSession(Context& context, const Request& request) {
    std::optional<std::string> name = CleanName(Utf8From1252(request.Query("sessionname")));
    if (!name) return ProtocolReply("invalidname");
    Response cookies;
    const std::string owner = ClientHash(context, ClientToken(request, cookies));
    const std::int64_t now = context.Now(), idle = context.settings.sessionIdle;
    // The owner rejoins; anyone else gets a fresh name of their own beside it.
    std::optional<Session> session = context.store.ClaimSession(*name, owner, now, idle, false);
    for (int attempt = 0; !session && attempt < 20; ++attempt)
        session = context.store.ClaimSession(SessionNameVariant(*name), owner, now, idle, true);
    if (!session) throw StoreError("no free variant of a session name found");
    return WithCookies(ProtocolReply("ok " + session->name), cookies);
}

Response HandleTestLogin(Context& context, const Request& request) {
    if (request.bodyMalformed || request.bodyTooLarge || request.bodyNotStored) return ProtocolReply(Malformed);
    const std::string userName = Utf8From1252(request.Field("username"));
    if (userName.empty()) return ProtocolReply("wrong");
    return DeferTo(Deferred::Pool::Passwords, [&context, request, userName] {
        AccountCheck check =
            CheckAccount(context, userName, Utf8From1252(request.Field("password")), request.remoteAddress);
        switch (check.outcome) {
            case AccountCheck::Outcome::Accepted: return ProtocolReply("ok");
            case AccountCheck::Outcome::Throttled: return ProtocolReply(Throttled);
            case AccountCheck::Outcome::Disabled: return ProtocolReply(DisabledAccount);
            default: return ProtocolReply("wrong");
        }
    });
}

}  // namespace snapora::server
