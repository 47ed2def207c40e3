#include "app/NewSessionForm.h"

namespace snapora {

TNewSessionForm::TNewSessionForm(Application& app, ProgramContext&) : Form(app, "NewSessionForm") {
    SetCaption("Session-Modus starten");
    Border = BorderStyle::Dialog;
    MinimizeBox = MaximizeBox = false;
    SetClientSize(366, 175);
    CentreOnScreen = true;

    GroupBox1.SetBounds(8, 8, 353, 161);
    GroupBox1.SetText(" Zugangsdaten ");
    Label1.SetBounds(8, 32, 80, 13);
    Label1.SetCaption("Session-Name:");
    SessionNameEdit.SetBounds(96, 24, 129, 21);
    Button1.SetBounds(248, 24, 97, 25);
    Button1.SetCaption("OK");
    Button1.SetDefault(true);
    Button1.ModalResult = mrOk;
    Button2.SetBounds(248, 64, 97, 25);
    Button2.SetCaption("Abbrechen");
    Button2.Cancel = true;
    Button2.ModalResult = mrCancel;
    Label3.SetBounds(8, 64, 225, 49);
    Label3.WordWrap = true;
    Label3.SetCaption(
        "Mit dem Session-Modus können Sie mehrere Screenshots hintereinander hochladen, die alle in einer Session "
        "zusammengefasst werden.");
    Label4.SetBounds(8, 112, 337, 41);
    Label4.WordWrap = true;
    Label4.SetCaption(
        "Wenn Sie den Session-Link an andere Benutzer weitergeben, sehen diese auf der Snapora-Website eine Liste, in "
        "der hochgeladene Screenshots sofort automatisch erscheinen.");

    OnShow = [this] { FormShow(); };
}

void TNewSessionForm::FormShow() {
    SessionNameEdit.SetText("");
    SessionNameEdit.SetFocus();
}

}  // namespace snapora
