#pragma once
// The four requests of the Snapora program. Every reply has status 200 and
// the reply form as its whole body, in Windows-1252; the program reads any
// other status as a broken connection.

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"

namespace snapora::server {

Response HandleUpload(Context& context, const Request& request);
Response HandleRename(Context& context, const Request& request);
Response HandleLoginSession(Context& context, const Request& request);
Response HandleTestLogin(Context& context, const Request& request);

// A protocol reply from a UTF-8 text.
Response ProtocolReply(const std::string& utf8);
// The reply when the server has no room for the request right now.
Response BusyProtocolReply();
// Whether the request is one of the four: they are always answered with status 200.
bool IsProtocolRequest(const Request& request);

}  // namespace snapora::server
