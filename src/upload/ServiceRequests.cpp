#include "upload/ServiceRequests.h"

#include "base/Version.h"

namespace snapora {

namespace {
// The account rides along only with a user name; the password then even when empty.
void AddAccount(MultipartForm& form, const Account& account) {
    if (account.username.empty()) return;
    form.AddField("username", account.username);
    form.AddField("password", account.password);
}
}  // namespace

std::unique_ptr<MultipartForm> BuildUploadForm(const LocalTime& now, const std::string& jpegPath,
                                               std::unique_ptr<ReadStream> jpeg, const std::string& description,
                                               const std::string& sessionName, const Account& account) {
    auto form = std::make_unique<MultipartForm>(now);
    form->AddField("filename", "screenshot");
    form->AddField("version", ProgramVersion);
    form->AddField("description", description);
    if (!sessionName.empty()) form->AddField("sessionname", sessionName);
    AddAccount(*form, account);
    form->AddFile("screenshot", jpegPath, "image/jpeg", std::move(jpeg));
    return form;
}

std::unique_ptr<MultipartForm> BuildRenameForm(const LocalTime& now, const std::string& screenshotName,
                                               const std::string& newName, const Account& account) {
    auto form = std::make_unique<MultipartForm>(now);
    form->AddField("filename", screenshotName);
    form->AddField("newfilename", newName);
    AddAccount(*form, account);
    return form;
}

std::unique_ptr<MultipartForm> BuildAccountTestForm(const LocalTime& now, const Account& account) {
    auto form = std::make_unique<MultipartForm>(now);
    form->AddField("username", account.username);
    form->AddField("password", account.password);
    return form;
}

std::string SessionLoginPath(const std::string& sessionName) {
    static const char hex[] = "0123456789ABCDEF";
    std::string path = "/loginsession.php?sessionname=";
    for (char c : sessionName) {
        auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F) {
            path += c;
        } else {
            path += '%';
            path += hex[byte >> 4];
            path += hex[byte & 0x0F];
        }
    }
    return path;
}

}  // namespace snapora
