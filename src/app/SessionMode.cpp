// Session mode: every upload carries a session name the service confirmed,
// and viewers of the session's page see each new screenshot at once.

#include "app/MainForm.h"

#include "app/NewSessionForm.h"
#include "base/Strings.h"
#include "upload/Replies.h"
#include "upload/ServiceRequests.h"

namespace snapora {

void TMainForm::SessionModeCheckBoxClick() {
    TNewSessionForm& dialog = *context_.windows.session;
    if (!SessionModeCheckBox.Checked()) {
        dialog.SessionNameEdit.SetText("");
        state_.SessionName.clear();
        SetCaption(MainCaption(App()));
        SessionUrlPanel.Hide();
        return;
    }
    if (dialog.ShowModal() != mrOk) {
        SessionModeCheckBox.SetChecked(false);  // runs the branch above
        return;
    }
    dialog.SessionNameEdit.SetText(TrimControls(dialog.SessionNameEdit.Text()));
    // A failed request reaches the general error handler; the box stays checked without a session.
    std::string reply = IdHTTP1().Get(SessionLoginPath(dialog.SessionNameEdit.Text()));
    SessionLoginReply login = ClassifySessionLoginReply(reply);
    if (login.kind == SessionLoginReply::Kind::LoggedIn) {
        state_.SessionName = login.sessionName;
        SetCaption(Caption() + "   [Session: " + state_.SessionName + "]");
        SessionUrlEdit.SetText(context_.endpoints.ServiceAddress() + "/~" + state_.SessionName);
        SessionUrlPanel.Show();
        SessionUrlEdit.SetFocus();
        SessionUrlEdit.SelectAll();
    }
    if (login.kind == SessionLoginReply::Kind::InvalidName) {
        SessionModeCheckBox.SetChecked(false);
        App().MessageBox("Ungültiger Session-Name!");
    }
}

}  // namespace snapora
