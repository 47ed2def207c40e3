#include "history/ScreenshotListForm.h"

#include <algorithm>

#include "app/MainForm.h"
#include "settings/SettingsDialogForm.h"

namespace snapora {

namespace {
constexpr unsigned WM_SIZE_MESSAGE = 0x0005;
constexpr int ListWidth = 169;
constexpr int PanelHeight = 41;
}  // namespace

TScreenshotListForm::TScreenshotListForm(Application& app, ProgramContext& context)
    : Form(app, "ScreenshotListForm"), context_(context) {
    SetCaption("Screenshot-Chronik");
    Border = BorderStyle::Sizeable;
    SetClientSize(686, 438);
    MinimumClientSize = {420, 300};
    CentreOnScreen = true;  // until it first fits beside the main window

    ClearListButton.SetCaption("Liste leeren");
    DisplayURLEdit.ReadOnly = true;
    DisplayURLEdit.SetColor(clBtnFace);
    EditScreenshotButton.SetCaption("Screenshot erneut bearbeiten");
    EditScreenshotButton.SetDefault(true);
    CloseButton.SetCaption("Schließen");
    CloseButton.Cancel = true;
    BottomPanel.Bevel = BevelKind::None;
    LayOut();

    OnShow = [this] { FormShow(); };
    OnMessage = [this](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t&) {
        if (message == WM_SIZE_MESSAGE) LayOut();  // the list, preview and buttons follow the window
        return false;
    };
    ListBox1.OnClick = [this] { ListBox1Click(); };
    ClearListButton.OnClick = [this] { ClearListButtonClick(); };
    EditScreenshotButton.OnClick = [this] { EditScreenshotButtonClick(); };
    Image1.OnDblClick = [this] { EditScreenshotButtonClick(); };
    CloseButton.OnClick = [this] { CloseButtonClick(); };
    DisplayURLEdit.OnClick = [this] { DisplayURLEditClick(); };
}

void TScreenshotListForm::LayOut() {
    int w = ClientWidth(), h = ClientHeight();
    int upper = std::max(0, h - PanelHeight);
    ListBox1.SetBounds(0, 0, ListWidth, upper);
    Image1.SetBounds(ListWidth + 4, 0, std::max(0, w - ListWidth - 4), upper);
    BottomPanel.SetBounds(0, upper, w, PanelHeight);
    ClearListButton.SetBounds(8, 8, 89, 25);
    CloseButton.SetBounds(std::max(0, w - 97), 8, 89, 25);
    EditScreenshotButton.SetBounds(std::max(0, w - 97 - 185), 8, 177, 25);
    DisplayURLEdit.SetBounds(105, 10, std::max(40, w - 97 - 185 - 113), 21);
}

int TScreenshotListForm::ListLimit() const {
    // The field is brought into range only when it loses the focus; never use more than it allows.
    const TSpinEdit& count = context_.windows.settings->ScreenshotListCount;
    return std::clamp(count.Value(), count.MinValue, count.MaxValue);
}

void TScreenshotListForm::AddScreenshot(const Bitmap& picture) {
    pictures_.Insert(0, picture);
    Added();
}

void TScreenshotListForm::AddLentScreenshot(const Bitmap& picture) {
    pictures_.InsertLent(0, picture);
    Added();
}

void TScreenshotListForm::Added() {
    ListBox1.InsertItem(0, "Neuer Screenshot");
    targets_.insert(targets_.begin(), "");
    // Only the one entry past the limit goes; a lowered limit trims no further.
    int limit = ListLimit();
    if (int(targets_.size()) > limit) {
        pictures_.Erase(std::size_t(limit));
        ListBox1.DeleteItem(limit);
        targets_.erase(targets_.begin() + limit);
    }
    if (!targets_.empty()) {
        ListBox1.SetItemIndex(0);
        ListBox1Click();
    }
}

void TScreenshotListForm::RenameLatestScreenshot(const std::string& name, const std::string& target) {
    if (targets_.empty()) return;
    ListBox1.SetItem(0, name);
    targets_[0] = target;
    ListBox1Click();  // the address field follows when entry 0 is selected
}

void TScreenshotListForm::ListBox1Click() {
    int index = ListBox1.ItemIndex();
    if (index < 0 || index >= Count()) return;
    pictures_.Load(std::size_t(index), Image1.Picture);
    Image1.PictureChanged();
    DisplayURLEdit.SetText(targets_[size_t(index)]);
}

void TScreenshotListForm::ClearListButtonClick() {
    pictures_.Clear();
    targets_.clear();
    ListBox1.Clear();
    Image1.Picture = Bitmap();
    Image1.PictureChanged();
    DisplayURLEdit.SetText("");
}

void TScreenshotListForm::EditScreenshotButtonClick() {
    int index = ListBox1.ItemIndex();
    if (index < 0 || index >= Count()) return;
    TMainForm& main = *context_.windows.main;
    // A worker still busy with the previous screenshot owns the picture and the temp file.
    if (main.WorkerRunning() || !context_.state.ReadyForCapture) return;
    CaptureState& state = context_.state;
    ReleasePicture(state.ScreenshotBitmap);  // the newest entry may still read it
    main.EditCheckBox.SetChecked(true);
    main.FormFirstShow();
    state.ReadyForCapture = false;
    pictures_.Load(std::size_t(index), state.ScreenshotBitmap);
    main.ShowStatus("Screenshot wird bearbeitet...");
    state.OutputMode = main.SaveLocalCheckBox.Checked() ? omSaveLocally : omUpload;
    main.Capture(false);
}

void TScreenshotListForm::FormShow() {
    // Beside the main window when it fits on the screen; otherwise where it was.
    const TMainForm& main = *context_.windows.main;
    Rect m = main.Bounds();
    int width = Width() > 0 ? Width() : ClientWidth();
    int height = Height() > 0 ? Height() : ClientHeight();
    int left = m.left + m.Width() + 5;
    int top = m.top + m.Height() / 2 - height / 2;
    Size screen = context_.platform.desktop.PrimaryScreenSize();
    if (left + width < screen.width && top + height < screen.height) SetBounds(left, top, width, height);
}

}  // namespace snapora
