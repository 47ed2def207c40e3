#include "history/ScreenshotListForm.h"

namespace snapora {

TScreenshotListForm::TScreenshotListForm(Application& app, ProgramContext& context)
    : Form(app, "ScreenshotListForm"), context_(context) {
    SetCaption("Screenshot-Chronik");
    Border = BorderStyle::Sizeable;
    SetClientSize(686, 438);
    MinimumSize = {420, 300};
}

int TScreenshotListForm::ListLimit() const { return 5; }

void TScreenshotListForm::AddScreenshot(const Bitmap& picture) {
    pictures_.insert(pictures_.begin(), picture);
    names_.insert(names_.begin(), "Neuer Screenshot");
    targets_.insert(targets_.begin(), "");
    // Only the one entry past the limit goes; a lowered limit trims no further.
    size_t limit = size_t(ListLimit());
    if (names_.size() > limit) {
        pictures_.erase(pictures_.begin() + long(limit));
        names_.erase(names_.begin() + long(limit));
        targets_.erase(targets_.begin() + long(limit));
    }
}

void TScreenshotListForm::RenameLatestScreenshot(const std::string& name, const std::string& target) {
    if (names_.empty()) return;
    names_[0] = name;
    targets_[0] = target;
}

}  // namespace snapora
