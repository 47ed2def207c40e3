#pragma once
// From a request to its handler, and the headers every response carries.

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"

namespace snapora::server {

Response HandleRequest(Context& context, const Request& request);

// Content-Security-Policy (no inline script, nothing from elsewhere),
// nosniff, no framing.
void AddSecurityHeaders(Response& response);

}  // namespace snapora::server
