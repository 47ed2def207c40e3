#pragma once
// The web pages: what the program opens in the browser and what its
// addresses lead to.

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"

namespace snapora::server {

Response HomePage(Context& context);
Response DownloadPage(Context& context);
Response DownloadFile(Context& context, const std::string& fileName);
Response DonationPage();
Response FaqPage();

Response ScreenshotPage(Context& context, const std::string& name);
Response RawPicture(Context& context, const std::string& name);

Response SessionPage(Context& context, const std::string& name);
Response SessionEvents(Context& context, const Request& request, const std::string& name);

// GET and POST of /account.htm, by "action" (testlogin is the protocol's).
Response AccountPage(Context& context, const Request& request);

// A file name of the downloads folder that may be served: letters, digits, '.', '-', '_', no leading dot.
bool IsDownloadName(const std::string& fileName);

}  // namespace snapora::server
