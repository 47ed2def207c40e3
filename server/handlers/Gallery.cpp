#include "handlers/Gallery.h"

#include <set>

#include "auth/Passwords.h"
#include "handlers/PageFrame.h"
#include "imaging/Thumbnail.h"
#include "text/Html.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

// Names the picture, not the name: a renamed screenshot keeps it, a new one under the old name gets another.
std::string ThumbnailTag(const Context& context, const Screenshot& shot) {
    return KeyedHash(context.secret, "thumbnail:" + shot.fileKey).substr(0, 16);
}

std::string Title(const Screenshot& shot) { return shot.description.empty() ? shot.name : shot.description; }

}  // namespace

std::string ThumbnailAddress(const Context& context, const Screenshot& shot) {
    return "/" + UrlEncode(shot.name) + ".thumb.jpg?v=" + ThumbnailTag(context, shot);
}

std::string GalleryItem(const Context& context, const Screenshot& shot, const std::string& extraHtml) {
    const std::string page = "/" + UrlEncode(shot.name);
    const PictureSize size = ThumbnailSizeFor(shot.width, shot.height);
    std::string html = "<li id=\"shot-" + std::to_string(shot.id) + "\"><a href=\"" + EscapeHtml(page) +
                       ".jpg\" title=\"Ganzes Bild öffnen\"><img src=\"" + EscapeHtml(ThumbnailAddress(context, shot)) +
                       "\" alt=\"" + EscapeHtml(Title(shot)) + "\" width=\"" + std::to_string(size.width) +
                       "\" height=\"" + std::to_string(size.height) + "\" loading=\"lazy\"></a><a href=\"" +
                       EscapeHtml(page) + "\">" + EscapeHtml(shot.name) + "</a>";
    if (!shot.description.empty()) html += "<div>" + EscapeHtml(shot.description) + "</div>";
    return html + "<div class=\"meta\">" + GermanTime(shot.uploadedAt) + " · " + std::to_string(shot.width) + " × " +
           std::to_string(shot.height) + "</div>" + extraHtml + "</li>\n";
}

std::string GalleryItemJson(const Context& context, const Screenshot& shot) {
    const std::string page = "/" + UrlEncode(shot.name);
    const PictureSize size = ThumbnailSizeFor(shot.width, shot.height);
    return "{\"id\":" + std::to_string(shot.id) + ",\"name\":" + JsonString(shot.name) +
           ",\"page\":" + JsonString(page) + ",\"picture\":" + JsonString(page + ".jpg") +
           ",\"thumbnail\":" + JsonString(ThumbnailAddress(context, shot)) +
           ",\"thumbWidth\":" + std::to_string(size.width) + ",\"thumbHeight\":" + std::to_string(size.height) +
           ",\"description\":" + JsonString(shot.description) + ",\"time\":" + JsonString(GermanTime(shot.uploadedAt)) +
           ",\"width\":" + std::to_string(shot.width) + ",\"height\":" + std::to_string(shot.height) + "}";
}

Response ThumbnailPicture(Context& context, const Request& request, const std::string& name) {
    std::optional<Screenshot> shot;
    if (CleanName(name) == name) shot = context.store.FindScreenshot(name);
    if (!shot) return NotFoundPage("Diesen Screenshot gibt es nicht (mehr).");
    const std::string etag = "\"" + ThumbnailTag(context, *shot) + "\"";
    // With the tag of its picture in the address the answer never changes; without it, only for a while.
    const char* caching = request.Query("v") == ThumbnailTag(context, *shot) ? "public, max-age=31536000, immutable"
                                                                             : "public, max-age=300";
    Response response;
    response.contentType = "image/jpeg";
    response.headers.emplace_back("Cache-Control", caching);
    if (request.Header("if-none-match") == etag) {
        response.status = 304;
        response.headers.emplace_back("ETag", etag);
        return response;
    }
    auto serve = [&context, response, etag, shot = *shot](std::optional<std::string> thumbnail) {
        Response served = response;
        if (thumbnail) {
            served.body = std::move(*thumbnail);
            served.headers.emplace_back("ETag", etag);
        } else if ((served.picture = context.store.OpenPicture(shot))) {  // big, but the picture all the same
            served.headers.front().second = "public, max-age=300";
        } else {
            return NotFoundPage("Diesen Screenshot gibt es nicht (mehr).");
        }
        return served;
    };
    if (std::optional<std::string> kept = context.store.LoadThumbnail(*shot)) return serve(std::move(kept));
    // Not made yet: made on a pool, never on the thread that serves connections.
    Response deferred;
    deferred.deferred = std::make_shared<Deferred>(Deferred{
        Deferred::Pool::Pictures, [&context, serve, shot = *shot] { return serve(context.thumbnails.Get(shot)); },
        [serve] { return serve(std::nullopt); }});
    return deferred;
}

void AnnounceDeleted(Context& context, const std::vector<Screenshot>& deleted) {
    std::set<std::int64_t> sessions;
    for (const Screenshot& shot : deleted)
        if (shot.sessionId) sessions.insert(*shot.sessionId);
    for (std::int64_t session : sessions) context.board.Changed(session);
}

}  // namespace snapora::server
