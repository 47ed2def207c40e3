#pragma once
// The four requests the program sends to its web service, field by field.

#include <memory>
#include <string>

#include "platform/ReadStream.h"
#include "upload/Multipart.h"

namespace snapora {

struct Account {
    std::string username;
    std::string password;
};

inline const char* const UploadPath = "/upload.php";
inline const char* const RenamePath = "/rename.php";
inline const char* const AccountTestPath = "/account.htm?action=testlogin";

std::unique_ptr<MultipartForm> BuildUploadForm(const LocalTime& now, const std::string& jpegPath,
                                               std::unique_ptr<ReadStream> jpeg, const std::string& description,
                                               const std::string& sessionName, const Account& account);
std::unique_ptr<MultipartForm> BuildRenameForm(const LocalTime& now, const std::string& screenshotName,
                                               const std::string& newName, const Account& account);
std::unique_ptr<MultipartForm> BuildAccountTestForm(const LocalTime& now, const Account& account);
// The session name goes into the query byte for byte, except what a request
// line cannot carry: a blank, control characters and bytes above 0x7E, which
// go as %XX (a blank as %20).
std::string SessionLoginPath(const std::string& sessionName);

}  // namespace snapora
