#pragma once

#include "app/ProgramContext.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace snapora {

// Asks for the name of a new session.
class TNewSessionForm : public Form {
public:
    TNewSessionForm(Application& app, ProgramContext& context);

    TGroupBox GroupBox1{this, "GroupBox1"};
    TLabel Label1{&GroupBox1, "Label1"};
    TEdit SessionNameEdit{&GroupBox1, "SessionNameEdit"};
    TButton Button1{&GroupBox1, "Button1"};
    TButton Button2{&GroupBox1, "Button2"};
    TLabel Label3{&GroupBox1, "Label3"};
    TLabel Label4{&GroupBox1, "Label4"};

    void FormShow();
};

}  // namespace snapora
