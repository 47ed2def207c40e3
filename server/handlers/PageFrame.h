#pragma once
// The frame every page shares (head, navigation, footer), the page responses,
// and the site's own style sheet and script.

#include <cstdint>
#include <string>

#include "http/Response.h"

namespace snapora::server {

// bodyHtml and headHtml (more of the head, e.g. meta elements) are already
// escaped; the title is escaped here.
std::string Page(const std::string& title, const std::string& bodyHtml, const std::string& headHtml = "");
Response HtmlResponse(const std::string& html, int status = 200);
Response PageResponse(const std::string& title, const std::string& bodyHtml, int status = 200,
                      const std::string& headHtml = "");
Response NotFoundPage(const std::string& text = "Diese Seite gibt es nicht.");
Response SeeOther(const std::string& location);  // 303 after a form
Response Found(const std::string& location);     // 302: a former name to the current one
// 503 with Retry-After: the server has no room for the request right now.
Response BusyPage();
// 429 with Retry-After: too many unknown names asked for from one address.
Response TooManyMissesPage();

// "24.12.2024, 18:05 Uhr", in the server's local time.
std::string GermanTime(std::int64_t secondsSinceEpoch);

Response StyleSheet();
Response SessionScript();

}  // namespace snapora::server
