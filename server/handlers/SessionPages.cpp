#include <algorithm>
#include <set>

#include "handlers/Gallery.h"
#include "handlers/PageFrame.h"
#include "handlers/Pages.h"
#include "text/Html.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

// The screenshots of one session that the page has not shown yet, as
// server-sent events, and a "removed" event for each one that was deleted.
class SessionFeed final : public EventSource {
public:
    SessionFeed(Context& context, std::int64_t sessionId, std::int64_t afterId)
        : context_(context), sessionId_(sessionId), lastId_(afterId), lastSent_(context.Now()) {
        for (const Screenshot& shot : context.store.ScreenshotsOfSession(sessionId))
            if (shot.id <= afterId) shown_.insert(shot.id);  // on the page already
    }

    std::int64_t Topic() const override { return sessionId_; }

    std::string Next() override {
        std::string text;
        if (!started_) {
            text = "retry: 1000\n\n";  // reconnect quickly after a broken connection
            started_ = true;
        }
        try {
            text += Changes(context_.store.ScreenshotsOfSession(sessionId_));
        } catch (const StoreUnavailable&) {
            // The database is away for a moment: the page stays open and is told what changed once it is back.
        }
        const std::int64_t now = context_.Now();
        if (text.empty() && now - lastSent_ >= 15) text = ": keep-alive\n\n";  // finds clients that went away
        if (!text.empty()) lastSent_ = now;
        return text;
    }

private:
    // The events that bring the page from what it shows to `all` (the session's screenshots, newest first).
    std::string Changes(const std::vector<Screenshot>& all) {
        std::string text;
        std::set<std::int64_t> present;
        for (const Screenshot& shot : all) present.insert(shot.id);
        for (auto it = shown_.begin(); it != shown_.end();) {
            if (present.count(*it)) {
                ++it;
                continue;
            }
            text += "event: removed\ndata: {\"id\":" + std::to_string(*it) + "}\n\n";
            it = shown_.erase(it);
        }
        for (auto shot = all.rbegin(); shot != all.rend(); ++shot) {  // oldest first: each goes on top of the page
            if (shot->id <= lastId_) continue;
            text += "id: " + std::to_string(shot->id) + "\ndata: " + GalleryItemJson(context_, *shot) + "\n\n";
            lastId_ = shot->id;
            shown_.insert(shot->id);
        }
        return text;
    }

    Context& context_;
    std::int64_t sessionId_, lastId_, lastSent_;
    std::set<std::int64_t> shown_;
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
    for (const Screenshot& shot : shots) body += GalleryItem(context, shot);
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
