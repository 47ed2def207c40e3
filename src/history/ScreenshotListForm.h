#pragma once

#include <string>
#include <vector>

#include "app/ProgramContext.h"
#include "history/PictureStore.h"
#include "imaging/Bitmap.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace snapora {

// The recent screenshots of this run, newest first: a name in the list, a
// copy of the picture (packed losslessly in the background: PictureStore)
// and, once known, its address or saved path. Nothing of it is stored on disk.
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
    // The same without a copy: `picture` is packed where it is, and must not
    // change before ReleasePicture has returned.
    void AddLentScreenshot(const Bitmap& picture);
    // Whether the history still reads `picture`'s pixels; until it no longer does.
    bool ReadsPicture(const Bitmap& picture) const { return pictures_.Reads(picture); }
    void ReleasePicture(const Bitmap& picture) { pictures_.WaitUntilReleased(picture); }
    void RenameLatestScreenshot(const std::string& name, const std::string& target);

    void FormShow();
    void ListBox1Click();
    void ClearListButtonClick();
    void EditScreenshotButtonClick();
    void CloseButtonClick() { Close(); }
    void DisplayURLEditClick() { DisplayURLEdit.SelectAll(); }

    const std::vector<std::string>& Names() const { return ListBox1.Items(); }
    const std::vector<std::string>& Targets() const { return targets_; }
    // Entry `index`'s picture, exactly as it was added.
    Bitmap Picture(int index) const { return pictures_.Picture(std::size_t(index)); }
    std::size_t PictureBytes(int index) const { return pictures_.Bytes(std::size_t(index)); }
    int Count() const { return int(pictures_.Size()); }

    // From any thread: the newest pictures may be packed now (the main
    // window says so when the upload worker has ended, so that packing takes
    // no processor from its compression and upload).
    void StartPacking() { pictures_.StartPacking(); }
    void HoldPacking() { pictures_.HoldPacking(); }

private:
    void LayOut();
    void Added();
    int ListLimit() const;

    ProgramContext& context_;
    PictureStore pictures_;
    std::vector<std::string> targets_;
};

}  // namespace snapora
