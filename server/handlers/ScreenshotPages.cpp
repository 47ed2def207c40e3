#include "handlers/PageFrame.h"
#include "handlers/Pages.h"
#include "text/Html.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

std::optional<Screenshot> Find(Context& context, const std::string& name) {
    if (CleanName(name) != name) return std::nullopt;  // anything outside the alphabet names nothing
    return context.store.FindScreenshot(name);
}

// A name the screenshot had before leads to its current one.
std::optional<Response> ToCurrentName(Context& context, const std::string& name, const std::string& suffix) {
    if (CleanName(name) != name) return std::nullopt;
    std::optional<Screenshot> shot = context.store.FindByFormerName(name);
    if (!shot) return std::nullopt;
    return Found("/" + UrlEncode(shot->name) + suffix);
}

}  // namespace

Response ScreenshotPage(Context& context, const std::string& name) {
    std::optional<Screenshot> shot = Find(context, name);
    if (!shot) return ToCurrentName(context, name, "").value_or(NotFoundPage("Diesen Screenshot gibt es nicht (mehr)."));
    const std::string picture = "/" + UrlEncode(shot->name) + ".jpg";
    const std::string title = shot->description.empty() ? shot->name : shot->description;
    std::string body = "<h1>" + EscapeHtml(title) + "</h1>\n<figure><a href=\"" + EscapeHtml(picture) +
                       "\"><img src=\"" + EscapeHtml(picture) + "\" alt=\"" + EscapeHtml(title) + "\" width=\"" +
                       std::to_string(shot->width) + "\" height=\"" + std::to_string(shot->height) + "\"></a>\n";
    if (!shot->description.empty()) body += "<figcaption>" + EscapeHtml(shot->description) + "</figcaption>\n";
    body += "</figure>\n<p class=\"meta\">Hochgeladen am <time>" + GermanTime(shot->uploadedAt) + "</time> · " +
            std::to_string(shot->width) + " × " + std::to_string(shot->height) + " Pixel</p>";
    return PageResponse(title, body);
}

Response RawPicture(Context& context, const std::string& name) {
    std::optional<Screenshot> shot = Find(context, name);
    if (!shot) return ToCurrentName(context, name, ".jpg").value_or(NotFoundPage("Diesen Screenshot gibt es nicht (mehr)."));
    Response response;
    response.contentType = "image/jpeg";
    response.filePath = context.store.PicturePath(*shot);
    response.headers.emplace_back("Cache-Control", "public, max-age=300");
    return response;
}

}  // namespace snapora::server
