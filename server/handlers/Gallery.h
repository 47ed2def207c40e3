#pragma once
// Lists of screenshots (an account's, a session's): thumbnails that open the
// full picture with one click, and the small pictures themselves.

#include <string>
#include <vector>

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"

namespace snapora::server {

// The thumbnail's address, versioned by the picture it shows, so that it can
// be cached for good even when the name is later given to another screenshot.
std::string ThumbnailAddress(const Context& context, const Screenshot& shot);

// One list item (<li id="shot-ID">): the thumbnail linked to the full
// picture, the name linked to the screenshot's page, its description and
// time; extraHtml (already escaped) at its end.
std::string GalleryItem(const Context& context, const Screenshot& shot, const std::string& extraHtml = "");
// The same as JSON for the session page's script.
std::string GalleryItemJson(const Context& context, const Screenshot& shot);

// GET /NAME.thumb.jpg[?v=TAG]: made on first use; the full picture when no
// thumbnail can be made.
Response ThumbnailPicture(Context& context, const Request& request, const std::string& name);

// Tells the open session pages of these screenshots that they are gone.
void AnnounceDeleted(Context& context, const std::vector<Screenshot>& deleted);

}  // namespace snapora::server
