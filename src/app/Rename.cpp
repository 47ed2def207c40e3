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
    // Escape while the status showed reset the display and dropped the name:
    // nothing more goes out, and no empty name ever does.
    if (RenameCalledOff()) return;
    std::string suffix = context_.endpoints.DomainSuffix();
    std::string reply;
    try {
        auto form = BuildRenameForm(context_.platform.clock.Now(), ScreenshotNameFromAddress(state_.ScreenshotURL, suffix),
                                    state_.PendingNewName, {settings.UsernameEdit.Text(), settings.PasswordEdit.Text()});
        reply = IdHTTP1().Post(RenamePath, *form);
    } catch (...) {
        if (RenameCalledOff()) return;  // Escape cut the request off: "Upload abgebrochen." says so
        // No answer: keep the address the upload got in sight and the name
        // from riding along with the next upload.
        DisplayURLEdit.SetText(state_.ScreenshotURL);
        ShowRenameControls(true);
        state_.PendingNewName.clear();
        throw;
    }

    bool renamed = IsRenameSuccess(reply, context_.endpoints.service.Secure());
    if (renamed) {
        // What the service did counts, also when Escape came too late to stop it.
        state_.ScreenshotURL = reply;
        context_.windows.history->RenameLatestScreenshot(ScreenshotNameFromAddress(reply, suffix), reply);
    }
    // Escape during the request: the display stays reset and nothing is copied.
    if (RenameCalledOff()) return;
    if (renamed) {
        ShowStatus("Screenshot wurde umbenannt.");
        DisplayURLEdit.SetText(reply);
        if (Visible()) DisplayURLEdit.SetFocus();
        DisplayURLEdit.SelectAll();
        ShowRenameControls(false);
    } else {
        ShowStatus("");
        DisplayURLEdit.SetText(state_.ScreenshotURL);
        ShowRenameControls(true);
        App().MessageBox("Fehler beim Umbenennen: " + ReadableReply(reply));
        if (Visible()) RenameEdit.SetFocus();
    }
    // The status line and the message box let an Escape in, too late to stop
    // anything but the copy.
    bool calledOff = RenameCalledOff();
    state_.PendingNewName.clear();
    if (!calledOff && settings.CopyURLCheckBox.Checked()) context_.platform.clipboard.SetText(state_.ScreenshotURL);
}

bool TMainForm::RenameCalledOff() const { return state_.PendingNewName.empty() || App().Terminated(); }

void TMainForm::ShowRenameControls(bool visible) {
    RenameLabel.SetVisible(visible);
    RenameEdit.SetVisible(visible);
    RenameButton.SetVisible(visible);
}

}  // namespace snapora
