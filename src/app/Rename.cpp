// Renaming an uploaded screenshot: at once when the address is known, or by
// the worker right after the upload when the name was typed meanwhile.

#include "app/MainForm.h"

#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"
#include "upload/Replies.h"
#include "upload/ServiceRequests.h"

namespace snapora {

void TMainForm::RenameButtonClick() {
    if (RenameEdit.Text().empty()) return;
    // Without an address and without an upload under way (it failed, was
    // refused or cancelled) there is nothing the name could belong to.
    if (!state_.UploadDone && !UploadWaitsForName()) return;
    state_.PendingNewName = RenameEdit.Text();  // as typed: the proposal rules are not the user's
    if (state_.UploadDone) {
        state_.ReadyForCapture = false;
        state_.ScreenshotURL = DisplayURLEdit.Text();
        try {
            RenameScreenshot();
        } catch (...) {
            state_.ReadyForCapture = true;
            throw;  // the general error handler shows it
        }
        state_.ReadyForCapture = true;
    } else {
        // The worker sends the name once the upload has its address.
        ShowRenameControls(false);
    }
}

void TMainForm::RenameScreenshot() {
    TSettingsDialogForm& settings = *context_.windows.settings;
    ShowStatus("Screenshot umbenennen...");
    std::string suffix = context_.endpoints.DomainSuffix();
    std::string reply;
    try {
        auto form = BuildRenameForm(context_.platform.clock.Now(), ScreenshotNameFromAddress(state_.ScreenshotURL, suffix),
                                    state_.PendingNewName, {settings.UsernameEdit.Text(), settings.PasswordEdit.Text()});
        reply = IdHTTP1().Post(RenamePath, *form);
    } catch (...) {
        // No answer: keep the address the upload got in sight and the name
        // from riding along with the next upload.
        DisplayURLEdit.SetText(state_.ScreenshotURL);
        ShowRenameControls(true);
        state_.PendingNewName.clear();
        throw;
    }

    if (IsRenameSuccess(reply, context_.endpoints.service.Secure())) {
        ShowStatus("Screenshot wurde umbenannt.");
        state_.ScreenshotURL = reply;
        DisplayURLEdit.SetText(reply);
        if (Visible()) DisplayURLEdit.SetFocus();
        DisplayURLEdit.SelectAll();
        ShowRenameControls(false);
        context_.windows.history->RenameLatestScreenshot(ScreenshotNameFromAddress(reply, suffix), reply);
    } else {
        ShowStatus("");
        DisplayURLEdit.SetText(state_.ScreenshotURL);
        ShowRenameControls(true);
        App().MessageBox("Fehler beim Umbenennen: " + ReadableReply(reply));
        if (Visible()) RenameEdit.SetFocus();
    }
    state_.PendingNewName.clear();
    if (settings.CopyURLCheckBox.Checked()) context_.platform.clipboard.SetText(state_.ScreenshotURL);
}

void TMainForm::ShowRenameControls(bool visible) {
    RenameLabel.SetVisible(visible);
    RenameEdit.SetVisible(visible);
    RenameButton.SetVisible(visible);
}

}  // namespace snapora
