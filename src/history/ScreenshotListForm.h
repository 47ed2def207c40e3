#pragma once

#include <string>
#include <vector>

#include "app/ProgramContext.h"
#include "imaging/Bitmap.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace snapora {

// The recent screenshots of this run, newest first: a name in the list, a
// copy of the picture and, once known, its address or saved path. Nothing of
// it is stored on disk.
class TScreenshotListForm : public Form {
public:
    TScreenshotListForm(Application& app, ProgramContext& context);

    TListBox ListBox1{this, "ListBox1"};
    TImage Image1{this, "Image1"};
    TPanel BottomPanel{this, "BottomPanel"};
    TButton ClearListButton{&BottomPanel, "ClearListButton"};
    TEdit DisplayURLEdit{&BottomPanel, "DisplayURLEdit"};
    TButton EditScreenshotButton{&BottomPanel, "EditScreenshotButton"};
    TButton CloseButton{&BottomPanel, "CloseButton"};

    void AddScreenshot(const Bitmap& picture);
    void RenameLatestScreenshot(const std::string& name, const std::string& target);

    void FormShow();
    void ListBox1Click();
    void ClearListButtonClick();
    void EditScreenshotButtonClick();
    void CloseButtonClick() { Close(); }
    void DisplayURLEditClick() { DisplayURLEdit.SelectAll(); }

    const std::vector<std::string>& Names() const { return ListBox1.Items(); }
    const std::vector<std::string>& Targets() const { return targets_; }
    const std::vector<Bitmap>& Pictures() const { return pictures_; }

private:
    void LayOut();
    int ListLimit() const;

    ProgramContext& context_;
    std::vector<Bitmap> pictures_;
    std::vector<std::string> targets_;
};

}  // namespace snapora
