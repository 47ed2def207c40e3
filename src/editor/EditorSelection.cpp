// The selection: the crop frame, the grey surround, the size in the status
// bar, and choosing a monitor in the list or on the desktop thumbnail.

#include <algorithm>

#include "editor/ImageEditorForm.h"

namespace snapora {

bool TImageEditorForm::CommitCrop(Point release) {
    DrawShape(dragStart_, dragCurrent_, PenMode::NotXor);  // the last preview goes
    Rect r = Rect{dragStart_.x, dragStart_.y, release.x, release.y}.Normalized();
    Rect& s = state_.SelectionRect;
    if (r.right <= s.left || r.bottom <= s.top || r.left >= s.right || r.top >= s.bottom) return false;
    if (std::min(s.right, r.right) - std::max(s.left, r.left) < 30 ||
        std::min(s.bottom, r.bottom) - std::max(s.top, r.top) < 30)
        return false;
    s = {std::max(s.left, r.left), std::max(s.top, r.top), std::min(s.right, r.right), std::min(s.bottom, r.bottom)};
    FillClipBorders();
    DisplayClipSize();
    SetCursor();
    return true;
}

void TImageEditorForm::FillClipBorders() {
    // Outside the area that may have changed since the surround was last filled
    // (for which selection), the picture is grey already: painting it again would
    // change nothing, so only that area is painted.
    Rect within = filledFor_.IsEmpty() ? Picture().Bounds() : unfilled_.Union(filledFor_);
    FillBands(within);
    unfilled_ = {};
    filledFor_ = state_.SelectionRect;
    if (filledFor_.IsEmpty()) unfilled_ = Picture().Bounds();  // nothing to remember it by
}

void TImageEditorForm::FillBands(const Rect& within) {
    const Rect& s = state_.SelectionRect;
    int w = Picture().Width(), h = Picture().Height();
    for (Rect band : {Rect{0, 0, w, s.top}, Rect{0, 0, s.left, h}, Rect{s.right, 0, w, h}, Rect{0, s.bottom, w, h}}) {
        Rect area = band.Intersect(within).Intersect(Picture().Bounds());
        if (area.IsEmpty()) continue;
        Touch(area);
        Picture().Canvas().FillRect(area, WindowColour);
        Repaint(area);
    }
}

void TImageEditorForm::DisplayClipSize() {
    const Rect& s = state_.SelectionRect;
    StatusBar1.SetPanelText(1, "Bildgröße: " + std::to_string(s.Width()) + "x" + std::to_string(s.Height()));
}

void TImageEditorForm::RightRect() {
    // The unedited grab comes back outside the selection; inside, the edits stay.
    // Copying just the outside gives the same picture as restoring everything and
    // putting the inside back.
    Bitmap& picture = Picture();
    const Rect& s = state_.SelectionRect;
    int w = picture.Width(), h = picture.Height();
    for (Rect band : {Rect{0, 0, w, s.top}, Rect{0, s.top, s.left, s.bottom}, Rect{s.right, s.top, w, s.bottom},
                      Rect{0, s.bottom, w, h}}) {
        Rect area = band.Intersect(picture.Bounds());
        if (area.IsEmpty()) continue;
        Touch(area);
        picture.Canvas().CopyRect(area, state_.UneditedBitmap, area);
        unfilled_ = unfilled_.Union(area);
        Repaint(area);
    }
}

void TImageEditorForm::BuildMonitorList() {
    std::vector<Rect> monitors = context_.platform.desktop.Monitors();
    monitorCount_ = int(monitors.size());
    StatusBar1.SetPanelText(0, "Verwendete Monitore: " + std::to_string(monitorCount_));
    MonitorSelectBox.Clear();
    int edge = 0, end = 0;
    for (int i = 0; i < monitorCount_; ++i) {
        MonitorSelectBox.AddItem("Nur " + std::to_string(i + 1) + ". Monitor");
        edge = std::min(edge, monitors[size_t(i)].left);
        end = std::max(end, monitors[size_t(i)].right);
    }
    leftmostMonitorEdge_ = edge;
    // Left to right, each monitor starting where the one before ends. Where no
    // monitor starts at the running edge (a gap, or stacked monitors of other
    // widths), the walk goes on at the nearest monitor further right; every
    // monitor is taken once, so the walk ends.
    monitorsLeftToRight_.clear();
    std::vector<bool> taken(monitors.size(), false);
    for (int a = edge; a < end;) {
        int next = -1;
        for (size_t i = 0; i < monitors.size() && next < 0; ++i)
            if (!taken[i] && monitors[i].left == a) next = int(i);
        for (size_t i = 0; i < monitors.size() && next < 0; ++i)
            if (!taken[i] && monitors[i].left > a &&
                std::none_of(monitors.begin(), monitors.end(), [&](const Rect& m) {
                    return m.left > a && m.left < monitors[i].left;
                }))
                next = int(i);
        if (next < 0) break;
        taken[size_t(next)] = true;
        monitorsLeftToRight_.push_back(monitors[size_t(next)]);
        a = monitors[size_t(next)].right;
    }
    // Monitors the walk passed by (stacked above or below another) follow in the
    // system's order, so that every entry of the list has one.
    for (size_t i = 0; i < monitors.size(); ++i)
        if (!taken[i]) monitorsLeftToRight_.push_back(monitors[i]);
    MonitorSelectBox.AddItem("Alle Monitore");
    DesktopPanel.SetBounds(136, 8, 50 * monitorCount_, 22);
    DesktopImage.SetBounds(0, 0, DesktopPanel.Width(), DesktopPanel.Height());
}

void TImageEditorForm::SelectMonitor(int index) {
    RightRect();
    Rect& s = state_.SelectionRect;
    int pictureWidth = Picture().Width(), pictureHeight = Picture().Height();
    if (index < 0 || index >= int(monitorsLeftToRight_.size())) {
        // All monitors; also an entry the left-to-right walk found no monitor for.
        DrawMonitorSelection(0, DesktopPanel.Width());
        MonitorSelectBox.SetItemIndex(int(MonitorSelectBox.Items().size()) - 1);
        Size desktop = context_.platform.desktop.VirtualScreenSize();
        if (pictureWidth >= desktop.width && pictureHeight >= desktop.height) s = {0, 0, desktop.width, desktop.height};
    } else {
        int w = monitorCount_ > 0 ? DesktopPanel.Width() / monitorCount_ : 0;
        DrawMonitorSelection(index * w, w);
        MonitorSelectBox.SetItemIndex(index);
        const Rect& m = monitorsLeftToRight_[size_t(index)];
        int x0 = m.left - leftmostMonitorEdge_;
        if (x0 + m.Width() <= pictureWidth && m.top + m.Height() <= pictureHeight)
            s = {x0, m.top, x0 + m.Width(), m.top + m.Height()};
        ScrollBox1.SetHorzPosition(x0);
    }
    FillClipBorders();
    DisplayClipSize();
}

void TImageEditorForm::DrawMonitorSelection(int start, int width) {
    Bitmap& image = DesktopImage.Picture;
    int w = DesktopImage.Width(), h = DesktopImage.Height();
    image.SetSize(w, h);
    if (image.IsEmpty()) return;
    Canvas& canvas = image.Canvas();
    canvas.Draw(0, 0, desktopThumbnail_);
    for (int y = 1; y < h; ++y)
        for (int x = 1; x < w; ++x)
            if ((x + y) % 2 == 1 && (x < start || x > start + width)) image.SetPixel(x, y, clBlack);
    canvas.pen = Pen{DesktopPanelColour, 1, PenStyle::Dot, PenMode::Copy};
    canvas.brush.style = BrushStyle::Clear;
    canvas.Rectangle({start, 0, start + width, h});
    DesktopImage.PictureChanged();
}

void TImageEditorForm::MonitorSelectBoxChange() {
    int index = MonitorSelectBox.ItemIndex();
    if (index == int(MonitorSelectBox.Items().size()) - 1)
        SelectMonitor(-1);
    else
        SelectMonitor(index);
}

void TImageEditorForm::DesktopPanelMouseDown(MouseButton, unsigned, int x, int) { desktopClickX_ = x; }

void TImageEditorForm::DesktopPanelClick() {
    int w = monitorCount_ > 0 ? DesktopPanel.Width() / monitorCount_ : 0;
    if (w > 0) SelectMonitor(desktopClickX_ / w);
}

void TImageEditorForm::DesktopPanelDblClick() { SelectMonitor(-1); }

}  // namespace snapora
