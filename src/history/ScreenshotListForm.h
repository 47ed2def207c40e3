#pragma once

#include <string>
#include <vector>

#include "app/ProgramContext.h"
#include "imaging/Bitmap.h"
#include "ui/Form.h"

namespace snapora {

// The recent screenshots of this run, newest first: a name, a copy of the
// picture and, once known, its address or saved path.
class TScreenshotListForm : public Form {
public:
    TScreenshotListForm(Application& app, ProgramContext& context);

    void AddScreenshot(const Bitmap& picture);
    void RenameLatestScreenshot(const std::string& name, const std::string& target);

    const std::vector<std::string>& Names() const { return names_; }
    const std::vector<std::string>& Targets() const { return targets_; }
    const std::vector<Bitmap>& Pictures() const { return pictures_; }

private:
    int ListLimit() const;

    ProgramContext& context_;
    std::vector<std::string> names_;
    std::vector<Bitmap> pictures_;
    std::vector<std::string> targets_;
};

}  // namespace snapora
