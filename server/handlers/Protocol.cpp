#include "handlers/Protocol.h"

#include "auth/Passwords.h"
#include "handlers/Credentials.h"
#include "imaging/JpegCheck.h"
#include "text/Cp1252.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

constexpr const char* Malformed = "Die Anfrage war unvollständig oder fehlerhaft.";
constexpr const char* NoPicture = "Es wurde kein Bild übertragen.";
constexpr const char* NotJpeg = "Die hochgeladene Datei ist kein JPEG-Bild.";
constexpr const char* WrongAccount = "Benutzername oder Passwort ist falsch.";
constexpr const char* Throttled =
    "Zu viele fehlgeschlagene Anmeldungen. Bitte versuchen Sie es in einigen Minuten noch einmal.";
constexpr const char* NotStored = "Der Screenshot konnte nicht gespeichert werden. Bitte versuchen Sie es später noch einmal.";
constexpr const char* UnknownScreenshot = "Diesen Screenshot gibt es nicht.";
constexpr const char* NotYours = "Sie dürfen diesen Screenshot nicht umbenennen.";
constexpr const char* EmptyName = "Bitte geben Sie einen Namen ein.";
constexpr const char* UnsafeName =
    "Der Name darf nur Buchstaben, Ziffern, - und _ enthalten und höchstens 40 Zeichen lang sein.";
constexpr const char* TakenName = "Dieser Name ist bereits vergeben.";

// The account named in a protocol request, when there is one: nullopt with
// `refusal` empty for an anonymous request, with the refusal text otherwise.
std::optional<Account> RequestAccount(Context& context, const Request& request, std::string& refusal) {
    const std::string userName = Utf8From1252(request.Field("username"));
    if (userName.empty()) return std::nullopt;
    AccountCheck check =
        CheckAccount(context, userName, Utf8From1252(request.Field("password")), request.remoteAddress);
    if (check.outcome == AccountCheck::Outcome::Throttled) refusal = Throttled;
    if (check.outcome == AccountCheck::Outcome::Wrong) refusal = WrongAccount;
    return check.account;
}

}  // namespace

Response ProtocolReply(const std::string& utf8) {
    Response response;
    response.body = Cp1252FromUtf8(utf8);
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

Response HandleUpload(Context& context, const Request& request) {
    if (request.bodyTooLarge) return ProtocolReply("toobig");
    if (request.bodyMalformed || request.method != "POST") return ProtocolReply(Malformed);
    auto file = request.files.find("screenshot");
    if (file == request.files.end() || file->second.size == 0) return ProtocolReply(NoPicture);
    if (file->second.size > context.settings.maxUpload) return ProtocolReply("toobig");

    std::string refusal;
    std::optional<Account> account = RequestAccount(context, request, refusal);
    if (!refusal.empty()) return ProtocolReply(refusal);

    NewScreenshot screenshot;
    screenshot.uploadedAt = context.Now();
    if (request.HasField("sessionname")) {
        std::optional<std::string> name = CleanName(Utf8From1252(request.Field("sessionname")));
        std::optional<Session> session;
        if (name) session = context.store.TouchSession(*name, screenshot.uploadedAt, context.settings.sessionIdle);
        if (!session) return ProtocolReply("wrongsession");
        screenshot.sessionId = session->id;
    }
    std::optional<PictureSize> size = ReadJpegHeader(file->second.path);
    if (!size) return ProtocolReply(NotJpeg);

    Response response;
    screenshot.description = Utf8From1252(request.Field("description"));
    std::erase(screenshot.description, '\0');  // a title has none; a database's text cannot hold one
    screenshot.clientHash = KeyedHash(context.secret, "client:" + ClientToken(request, response));
    if (account) screenshot.accountId = account->id;
    screenshot.width = size->width;
    screenshot.height = size->height;
    Screenshot stored;
    try {
        stored = context.store.AddScreenshot(screenshot, file->second.path);
    } catch (const StoreError&) {
        return ProtocolReply(NotStored);
    }
    context.thumbnails.Prepare(stored);  // ready before the list pages ask, as a rule
    if (stored.sessionId) context.board.Changed(*stored.sessionId);
    Response reply = ProtocolReply("ok|" + context.settings.latestVersion + "|" + context.AddressOf(stored.name));
    reply.headers.insert(reply.headers.end(), response.headers.begin(), response.headers.end());
    return reply;
}

Response HandleRename(Context& context, const Request& request) {
    if (request.bodyMalformed || request.bodyTooLarge || request.method != "POST") return ProtocolReply(Malformed);
    std::optional<std::string> currentName = CleanName(Utf8From1252(request.Field("filename")));
    std::optional<Screenshot> screenshot;
    if (currentName) screenshot = context.store.FindScreenshot(*currentName);
    if (!screenshot) return ProtocolReply(UnknownScreenshot);

    std::string refusal;
    std::optional<Account> account = RequestAccount(context, request, refusal);
    if (!refusal.empty()) return ProtocolReply(refusal);
    bool allowed = screenshot->accountId
                       ? account && account->id == *screenshot->accountId
                       : IsToken(request.Cookie(ClientCookie)) &&
                             SameText(screenshot->clientHash,
                                      KeyedHash(context.secret, "client:" + request.Cookie(ClientCookie)));
    if (!allowed) return ProtocolReply(NotYours);

    const std::string wanted = Utf8From1252(request.Field("newfilename"));
    if (wanted.find_first_not_of(" \t\r\n") == std::string::npos) return ProtocolReply(EmptyName);
    std::optional<std::string> newName = CleanName(wanted);
    if (!newName) return ProtocolReply(UnsafeName);
    if (*newName != screenshot->name && !context.store.RenameScreenshot(screenshot->id, *newName))
        return ProtocolReply(TakenName);
    return ProtocolReply(context.AddressOf(*newName));
}

Response HandleLoginSession(Context& context, const Request& request) {
    std::optional<std::string> name = CleanName(Utf8From1252(request.Query("sessionname")));
    if (!name) return ProtocolReply("invalidname");
    Session session = context.store.OpenSession(*name, context.Now(), context.settings.sessionIdle);
    return ProtocolReply("ok " + session.name);
}

Response HandleTestLogin(Context& context, const Request& request) {
    if (request.bodyMalformed || request.bodyTooLarge) return ProtocolReply(Malformed);
    const std::string userName = Utf8From1252(request.Field("username"));
    if (userName.empty()) return ProtocolReply("wrong");
    AccountCheck check =
        CheckAccount(context, userName, Utf8From1252(request.Field("password")), request.remoteAddress);
    switch (check.outcome) {
        case AccountCheck::Outcome::Accepted: return ProtocolReply("ok");
        case AccountCheck::Outcome::Throttled: return ProtocolReply(Throttled);
        default: return ProtocolReply("wrong");
    }
}

}  // namespace snapora::server
