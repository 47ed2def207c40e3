#include "handlers/PageFrame.h"

#include "text/Html.h"
#include "text/LocalTime.h"

namespace snapora::server {

namespace {

constexpr const char* Css = R"(*{box-sizing:border-box}
body{margin:0;font:16px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,Arial,sans-serif;color:#1d2330;background:#f4f6fa}
header{background:#1f4e8c;color:#fff;padding:.6rem 1rem;display:flex;flex-wrap:wrap;gap:.4rem 1.2rem;align-items:center}
header a{color:#fff;text-decoration:none}
header .brand{font-weight:700;font-size:1.2rem;margin-right:auto}
main{max-width:60rem;margin:0 auto;padding:1rem}
footer{max-width:60rem;margin:0 auto;padding:1rem;color:#667;font-size:.85rem}
h1{font-size:1.6rem;margin:.6rem 0}
a{color:#1f4e8c}
img{max-width:100%;height:auto}
figure{margin:0;background:#fff;padding:.6rem;border-radius:.4rem;box-shadow:0 1px 3px #0002}
figcaption{margin-top:.4rem}
.meta{color:#667;font-size:.9rem}
.shots{list-style:none;padding:0;display:grid;gap:1rem;grid-template-columns:repeat(auto-fill,minmax(16rem,1fr))}
.shots li{background:#fff;padding:.6rem;border-radius:.4rem;box-shadow:0 1px 3px #0002;overflow-wrap:anywhere}
.shots img{display:block;margin-bottom:.4rem;background:#e8ebf1}
.shots li>a+a{font-weight:600}
.actions{display:flex;flex-wrap:wrap;gap:.4rem 1rem;margin:.8rem 0}
.actions form{display:inline}
.warning{background:#fde8e8;padding:.6rem .8rem;border-radius:.3rem}
form.box{background:#fff;padding:1rem;border-radius:.4rem;box-shadow:0 1px 3px #0002;max-width:24rem}
label{display:block;margin:.5rem 0 .2rem}
input[type=text],input[type=password]{width:100%;padding:.5rem;font-size:1rem;border:1px solid #99a;border-radius:.3rem}
button{margin-top:.8rem;padding:.5rem 1rem;font-size:1rem;border:0;border-radius:.3rem;background:#1f4e8c;color:#fff;cursor:pointer}
button.danger{background:#a33;margin-top:.4rem;padding:.3rem .7rem;font-size:.9rem}
.error{color:#a33;font-weight:600}
.notice{background:#fff8d6;padding:.5rem .8rem;border-radius:.3rem}
)";

constexpr const char* Script = R"(// Adds each new screenshot of the session to the top of the list as it arrives.
(function () {
  'use strict';
  var list = document.getElementById('screenshots');
  if (!list || !window.EventSource) return;
  function item(shot) {
    var li = document.createElement('li');
    li.id = 'shot-' + shot.id;
    var full = document.createElement('a');
    full.href = shot.picture;
    full.title = 'Ganzes Bild öffnen';
    var img = document.createElement('img');
    img.src = shot.thumbnail;
    img.alt = shot.description || shot.name;
    img.width = shot.thumbWidth;
    img.height = shot.thumbHeight;
    full.appendChild(img);
    li.appendChild(full);
    var page = document.createElement('a');
    page.href = shot.page;
    page.textContent = shot.name;
    li.appendChild(page);
    if (shot.description) {
      var text = document.createElement('div');
      text.textContent = shot.description;
      li.appendChild(text);
    }
    var meta = document.createElement('div');
    meta.className = 'meta';
    meta.textContent = shot.time + ' · ' + shot.width + ' × ' + shot.height;
    li.appendChild(meta);
    return li;
  }
  var feed = list.getAttribute('data-feed');
  var newest = 0;
  function listen() {
    var source = new EventSource(newest ? feed.replace(/after=\d+/, 'after=' + newest) : feed);
    source.onmessage = function (event) {
      var shot = JSON.parse(event.data);
      if (shot.id > newest) newest = shot.id;
      if (document.getElementById('shot-' + shot.id)) return;
      list.insertBefore(item(shot), list.firstChild);
      var empty = document.getElementById('empty');
      if (empty) empty.parentNode.removeChild(empty);
    };
    // A screenshot deleted meanwhile (by its owner, or because it grew too old) leaves the page.
    source.addEventListener('removed', function (event) {
      var gone = document.getElementById('shot-' + JSON.parse(event.data).id);
      if (gone) gone.parentNode.removeChild(gone);
    });
    // The browser comes back by itself after a broken stream, but not after
    // an error status (the service briefly without its database): start anew.
    source.onerror = function () {
      if (source.readyState === EventSource.CLOSED) setTimeout(listen, 5000);
    };
  }
  listen();
})();
)";

}  // namespace

std::string Page(const std::string& title, const std::string& bodyHtml, const std::string& headHtml) {
    return "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" + EscapeHtml(title) + " – Snapora</title>\n" + headHtml +
           "<link rel=\"stylesheet\" href=\"/static/site.css\">\n</head>\n<body>\n"
           "<header><a class=\"brand\" href=\"/\">Snapora</a><a href=\"/download.htm\">Download</a>"
           "<a href=\"/account.htm\">Mein Konto</a><a href=\"/faq.htm\">Hilfe</a>"
           "<a href=\"/spenden.htm\">Spenden</a></header>\n<main>\n" +
           bodyHtml +
           "\n</main>\n<footer>Snapora – Screenshots aufnehmen und teilen.</footer>\n</body>\n</html>\n";
}

Response HtmlResponse(const std::string& html, int status) {
    Response response;
    response.status = status;
    response.contentType = "text/html; charset=utf-8";
    response.body = html;
    response.headers.emplace_back("Cache-Control", "no-cache");
    return response;
}

Response PageResponse(const std::string& title, const std::string& bodyHtml, int status, const std::string& headHtml) {
    return HtmlResponse(Page(title, bodyHtml, headHtml), status);
}

Response NotFoundPage(const std::string& text) {
    return PageResponse("Nicht gefunden", "<h1>Nicht gefunden</h1>\n<p>" + EscapeHtml(text) +
                                              "</p>\n<p><a href=\"/\">Zur Startseite</a></p>",
                        404);
}

Response SeeOther(const std::string& location) {
    Response response;
    response.status = 303;
    response.contentType = "text/plain; charset=utf-8";
    response.headers.emplace_back("Location", location);
    return response;
}

Response Found(const std::string& location) {
    Response response = SeeOther(location);
    response.status = 302;
    return response;
}

Response BusyPage() {
    Response response = PageResponse("Ausgelastet",
                                     "<h1>Einen Moment bitte</h1>\n<p>Der Server ist gerade ausgelastet. Bitte "
                                     "versuchen Sie es gleich noch einmal.</p>",
                                     503);
    response.headers.emplace_back("Retry-After", "5");
    return response;
}

Response TooManyMissesPage() {
    Response response = PageResponse("Zu viele Anfragen",
                                     "<h1>Zu viele Anfragen</h1>\n<p>Von Ihrem Anschluss wurde zu oft nach Seiten "
                                     "gefragt, die es nicht gibt. Bitte versuchen Sie es in einigen Minuten noch "
                                     "einmal.</p>",
                                     429);
    response.headers.emplace_back("Retry-After", "300");
    return response;
}

std::string GermanTime(std::int64_t secondsSinceEpoch) { return LocalTime(secondsSinceEpoch, "%d.%m.%Y, %H:%M Uhr"); }

Response StyleSheet() {
    Response response;
    response.contentType = "text/css; charset=utf-8";
    response.body = Css;
    response.headers.emplace_back("Cache-Control", "max-age=3600");
    return response;
}

Response SessionScript() {
    Response response;
    response.contentType = "text/javascript; charset=utf-8";
    response.body = Script;
    response.headers.emplace_back("Cache-Control", "max-age=3600");
    return response;
}

}  // namespace snapora::server
