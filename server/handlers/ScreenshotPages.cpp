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

std::string Meta(const char* attribute, const std::string& key, const std::string& value) {
    return std::string("<meta ") + attribute + "=\"" + key + "\" content=\"" + EscapeHtml(value) + "\">\n";
}

// What chat programs and social sites read to show a preview of a pasted
// address: Open Graph for most, the Twitter card for the rest.
std::string PreviewMeta(Context& context, const Screenshot& shot, const std::string& title, const std::string& summary) {
    const std::string page = context.AddressOf(UrlEncode(shot.name));
    const std::string picture = page + ".jpg";
    std::string head = Meta("property", "og:type", "website") + Meta("property", "og:site_name", "Snapora") +
                       Meta("property", "og:locale", "de_DE") + Meta("property", "og:title", title) +
                       Meta("property", "og:description", summary) + Meta("property", "og:url", page) +
                       Meta("property", "og:image", picture);
    if (context.settings.publicScheme == "https") head += Meta("property", "og:image:secure_url", picture);
    head += Meta("property", "og:image:type", "image/jpeg") +
            Meta("property", "og:image:width", std::to_string(shot.width)) +
            Meta("property", "og:image:height", std::to_string(shot.height)) +
            Meta("property", "og:image:alt", title) + Meta("name", "twitter:card", "summary_large_image") +
            Meta("name", "twitter:title", title) + Meta("name", "twitter:description", summary) +
            Meta("name", "twitter:image", picture) + Meta("name", "twitter:image:alt", title);
    return head;
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
    const std::string size = std::to_string(shot->width) + " × " + std::to_string(shot->height) + " Pixel";
    body += "</figure>\n<p class=\"meta\">Hochgeladen am <time>" + GermanTime(shot->uploadedAt) + "</time> · " + size +
            "</p>";
    const std::string summary = "Screenshot vom " + GermanTime(shot->uploadedAt) + ", " + size;
    return PageResponse(title, body, 200, PreviewMeta(context, *shot, title, summary));
}

Response RawPicture(Context& context, const std::string& name) {
    std::optional<Screenshot> shot = Find(context, name);
    if (!shot) return ToCurrentName(context, name, ".jpg").value_or(NotFoundPage("Diesen Screenshot gibt es nicht (mehr)."));
    std::shared_ptr<PictureReader> picture = context.store.OpenPicture(*shot);
    if (!picture) return NotFoundPage("Diesen Screenshot gibt es nicht (mehr).");
    Response response;
    response.contentType = "image/jpeg";
    response.picture = std::move(picture);
    response.headers.emplace_back("Cache-Control", "public, max-age=300");
    return response;
}

}  // namespace snapora::server
