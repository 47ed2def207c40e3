#include <algorithm>

#include "handlers/PageFrame.h"
#include "handlers/Pages.h"
#include "text/Html.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

std::string ItemHtml(const Screenshot& shot) {
    const std::string page = "/" + UrlEncode(shot.name);
    const std::string alt = shot.description.empty() ? shot.name : shot.description;
    std::string html = "<li id=\"shot-" + std::to_string(shot.id) + "\"><a href=\"" + EscapeHtml(page) +
                       "\"><img src=\"" + EscapeHtml(page) + ".jpg\" alt=\"" + EscapeHtml(alt) + "\" width=\"" +
                       std::to_string(shot.width) + "\" height=\"" + std::to_string(shot.height) +
                       "\" loading=\"lazy\"></a>";
    if (!shot.description.empty()) html += "<div>" + EscapeHtml(shot.description) + "</div>";
    return html + "<div class=\"meta\">" + GermanTime(shot.uploadedAt) + "</div></li>\n";
}

std::string EventData(const Screenshot& shot) {
    const std::string page = "/" + UrlEncode(shot.name);
    return "{\"id\":" + std::to_string(shot.id) + ",\"name\":" + JsonString(shot.name) +
           ",\"page\":" + JsonString(page) + ",\"picture\":" + JsonString(page + ".jpg") +
           ",\"description\":" + JsonString(shot.description) + ",\"time\":" + JsonString(GermanTime(shot.uploadedAt)) +
           ",\"width\":" + std::to_string(shot.width) + ",\"height\":" + std::to_string(shot.height) + "}";
}

// The screenshots of one session that the page has not shown yet, as server-sent events.
class SessionFeed final : public EventSource {
public:
    SessionFeed(Context& context, std::int64_t sessionId, std::int64_t afterId)
        : context_(context), sessionId_(sessionId), lastId_(afterId), lastSent_(context.Now()) {}

    std::int64_t Topic() const override { return sessionId_; }

    std::string Next() override {
        std::string text;
        if (!started_) {
            text = "retry: 1000\n\n";  // reconnect quickly after a broken connection
            started_ = true;
        }
        std::vector<Screenshot> fresh;
        try {
            fresh = context_.store.ScreenshotsOfSession(sessionId_, lastId_);
        } catch (const StoreUnavailable&) {
            // The database is away for a moment: the page stays open and is told what it missed once it is back.
        }
        std::reverse(fresh.begin(), fresh.end());  // oldest first: each goes on top of the page
        for (const Screenshot& shot : fresh) {
            text += "id: " + std::to_string(shot.id) + "\ndata: " + EventData(shot) + "\n\n";
            lastId_ = shot.id;
        }
        const std::int64_t now = context_.Now();
        if (text.empty() && now - lastSent_ >= 15) text = ": keep-alive\n\n";  // finds clients that went away
        if (!text.empty()) lastSent_ = now;
        return text;
    }

private:
    Context& context_;
    std::int64_t sessionId_, lastId_, lastSent_;
    bool started_ = false;
};

std::int64_t NumberOr(const std::string& text, std::int64_t fallback) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return fallback;
    return std::stoll(text);
}

}  // namespace

Response SessionPage(Context& context, const std::string& name) {
    std::optional<Session> session;
    if (CleanName(name) == name) session = context.store.FindSession(name);
    if (!session) return NotFoundPage("Diese Session gibt es nicht.");
    std::vector<Screenshot> shots = context.store.ScreenshotsOfSession(session->id);
    const std::int64_t newest = shots.empty() ? 0 : shots.front().id;
    const bool live = context.Now() - session->lastActive <= context.settings.sessionIdle;
    std::string body = "<h1>Session " + EscapeHtml(session->name) + "</h1>\n<p class=\"meta\">" +
                       (live ? std::string("Neue Screenshots erscheinen hier von selbst, ohne Neuladen.")
                             : std::string("Diese Session ist beendet.")) +
                       "</p>\n";
    if (shots.empty()) body += "<p id=\"empty\" class=\"notice\">Noch keine Screenshots in dieser Session.</p>\n";
    body += "<ol class=\"shots\" id=\"screenshots\" data-feed=\"" +
            EscapeHtml("/~" + UrlEncode(session->name) + "/events?after=" + std::to_string(newest)) + "\">\n";
    for (const Screenshot& shot : shots) body += ItemHtml(shot);
    body += "</ol>\n<script src=\"/static/session.js\"></script>";
    return PageResponse("Session " + session->name, body);
}

Response SessionEvents(Context& context, const Request& request, const std::string& name) {
    std::optional<Session> session;
    if (CleanName(name) == name) session = context.store.FindSession(name);
    if (!session) return NotFoundPage("Diese Session gibt es nicht.");
    // A reconnecting browser says which event it saw last.
    std::int64_t after = std::max(NumberOr(request.Query("after"), 0), NumberOr(request.Header("last-event-id"), 0));
    Response response;
    response.contentType = "text/event-stream; charset=utf-8";
    response.headers.emplace_back("Cache-Control", "no-cache");
    response.events = std::make_shared<SessionFeed>(context, session->id, after);
    return response;
}

}  // namespace snapora::server
