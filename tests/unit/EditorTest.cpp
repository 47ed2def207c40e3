// The editor through its handlers, opened by the capture road as a user opens
// it: tools, undo and redo (checked against full copies), the crop frame, the
// monitors, text, the wheel, the auto-scroll and the three endings.

#include <cstring>
#include <functional>
#include <random>

#include "ProgramFixture.h"
#include "editor/ImageEditorForm.h"
#include "history/ScreenshotListForm.h"
#include "settings/SettingsDialogForm.h"

namespace snapora {

namespace {

bool SamePixels(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), size_t(a.Width()) * 3) != 0) return false;
    return true;
}

constexpr Colour Grey = TImageEditorForm::WindowColour;

}  // namespace

class Editor : public UnstartedProgramTest {
protected:
    void SetUp() override { StartWith({{0, 0, 400, 300}}); }
    void StartWith(std::vector<Rect> monitors) {
        program.reset();
        fake.instance.held.clear();
        fake.desktop.monitors = std::move(monitors);
        Start();
        Main().Show();
        Main().ActiveWindowCheckBox.SetChecked(false);
        Main().EditCheckBox.SetChecked(true);
    }
    TImageEditorForm& E() { return *program->Context().windows.editor; }
    // Print with "Anschließend bearbeiten": `body` runs while the editor shows.
    void Edit(const std::function<void()>& body) {
        bool shown = false;
        backend.OnModal = [&](Form& form) {
            if (&form != &E()) return;
            shown = true;
            body();
        };
        std::intptr_t r;
        Main().Dispatch(WM_HOTKEY_, 101, 0, r);
        Main().WaitForWorker();
        EXPECT_TRUE(shown);
    }
    void Drag(Point from, Point to, MouseButton button = MouseButton::Left) {
        E().Image1MouseDown(button, 0, from.x, from.y);
        E().Image1MouseMove(0, (from.x + to.x) / 2, (from.y + to.y) / 2);
        E().Image1MouseMove(0, to.x, to.y);
        E().Image1MouseUp(button, 0, to.x, to.y);
    }
    void Type(const std::string& text) {
        for (char c : text) E().TextEdit.TextChangedByUser(E().TextEdit.Text() + c);
    }
    void PressEnter() {
        char enter = 13;
        E().TextEdit.OnKeyPress(enter);
    }
};

TEST_F(Editor, OpensWithTheWholeGrabTheCropToolAndOneSnapshot) {
    Edit([&] {
        TImageEditorForm& e = E();
        EXPECT_EQ(e.Caption(), "Screenshot bearbeiten");
        EXPECT_EQ(State().SelectionRect, (Rect{0, 0, 400, 300}));
        EXPECT_EQ(e.StatusBar1.PanelText(0), "Verwendete Monitore: 1");
        EXPECT_EQ(e.StatusBar1.PanelText(1), "Bildgröße: 400x300");
        EXPECT_EQ(e.StatusBar1.PanelText(2), "Ziehen Sie mit der Maus einen Rahmen um den gewünschten "
                                             "Bildausschnitt.     Mit ESC wird der Screenshot hochgeladen.");
        EXPECT_EQ(e.MonitorSelectBox.Items(), (std::vector<std::string>{"Nur 1. Monitor", "Alle Monitore"}));
        EXPECT_EQ(e.MonitorSelectBox.ItemIndex(), 0);
        EXPECT_EQ(e.DesktopPanel.Width(), 50);
        EXPECT_EQ(e.DesktopThumbnail().Width(), 50);
        EXPECT_EQ(e.DesktopThumbnail().Height(), 22);
        EXPECT_EQ(e.ToolbarPanel.Left(), 136 + 50 + 15);
        EXPECT_TRUE(e.CmdClip.Down());
        EXPECT_EQ(e.CurrentTool(), dtClip);
        EXPECT_EQ(e.UndoIndex(), 0);
        EXPECT_FALSE(e.CmdUndo.Enabled() || e.CmdRedo.Enabled());
        EXPECT_EQ(e.CaptionEdit.Text(), "Titel...");
        EXPECT_TRUE(e.UploadButton.GetFont().bold);
        EXPECT_FALSE(e.SaveButton.GetFont().bold);
        EXPECT_TRUE(e.ScrollBox1.Focused());
        EXPECT_EQ(e.PenWidth.Position(), 3);
        EXPECT_EQ(e.PenWidthEdit.Text(), "3");
        // Sized for the picture within the 400 by 300 screen, then moved to its corner.
        EXPECT_EQ(e.Bounds(), Rect::FromSize(0, 0, 400, 270));
    });
}

TEST_F(Editor, ToolButtonsHintsAndStatusTexts) {
    Edit([&] {
        TImageEditorForm& e = E();
        struct Tool {
            TToolButton* button;
            std::uint8_t code;
            const char* hint;
            Cursor cursor;
            const char* status;
        } tools[] = {
            {&e.CmdPen, dtPen, "Stift", Cursor::Pen, "Zeichnen Sie mit gedrückter Maustaste eine Freihandlinie."},
            {&e.CmdLine, dtLine, "Linie", Cursor::Cross, "Ziehen Sie mit gedrückter Maustaste eine Linie."},
            {&e.CmdArrow, dtArrow, "Pfeil", Cursor::Cross, "Zeichnen Sie mit gedrückter Maustaste einen Pfeil."},
            {&e.CmdRectangle, dtRectangle, "Rechteck", Cursor::Cross,
             "Zeichnen Sie mit gedrückter Maustaste ein Rechteck."},
            {&e.CmdEllipse, dtEllipse, "Ellipse", Cursor::Cross, "Zeichnen Sie mit gedrückter Maustaste eine Ellipse."},
            {&e.CmdClearClip, dtClearClip, "Rechteck füllen", Cursor::Cross,
             "Füllen Sie mit gedrückter Maustaste ein Rechteck."},
            {&e.CmdText, dtText, "Text", Cursor::IBeam,
             "Klicken Sie auf eine Stelle im Bild, um dort Text einzufügen."},
            {&e.CmdClip, dtClip, "Zuschneiden", Cursor::Cross, nullptr},
        };
        for (const Tool& t : tools) {
            t.button->Click();
            EXPECT_EQ(e.CurrentTool(), t.code) << t.hint;
            EXPECT_EQ(t.button->Hint, t.hint);
            EXPECT_EQ(e.Image1.CursorShape, t.cursor) << t.hint;
            if (t.status) {
                EXPECT_EQ(e.StatusBar1.PanelText(2), t.status);
            }
            int down = 0;
            for (const Tool& other : tools) down += other.button->Down();
            EXPECT_EQ(down, 1) << t.hint;  // one group: exactly one is down
        }
        EXPECT_EQ(e.CmdUndo.Hint, "Rückgängig");
        EXPECT_EQ(e.CmdRedo.Hint, "Wiederherstellen");
        EXPECT_EQ(e.AbortButton.Hint, "Abbrechen und Screenshot verwerfen (F10)");
        EXPECT_EQ(backend.RegisteredCursors[Cursor::Pen], "Pen");
    });
}

// The arrow's head: 5 x pen width long, opening 50 degrees, tip at the drag's start.
TEST_F(Editor, ArrowGeometry) {
    ArrowHead head = ArrowHeadFor(15, 50, {200, 100}, {100, 100});
    EXPECT_EQ(head.c1, (Point{114, 106}));
    EXPECT_EQ(head.c2, (Point{114, 94}));
    EXPECT_EQ(head.middle, (Point{114, 100}));
    ArrowHead wide = ArrowHeadFor(300, 50, {100, 500}, {100, 100});  // pen width 60, pointing up
    EXPECT_EQ(wide.c1, (Point{-27, 372}));
    EXPECT_EQ(wide.c2, (Point{227, 372}));
}

TEST_F(Editor, UndoRedoButtonsFollowTheStack) {
    Edit([&] {
        TImageEditorForm& e = E();
        e.CmdLine.Click();
        Bitmap before = e.Picture();
        Drag({20, 20}, {200, 150});
        Bitmap line = e.Picture();
        EXPECT_FALSE(SamePixels(before, line));
        EXPECT_TRUE(e.CmdUndo.Enabled());
        EXPECT_FALSE(e.CmdRedo.Enabled());
        e.CmdUndo.Click();
        EXPECT_TRUE(SamePixels(e.Picture(), before));
        EXPECT_FALSE(e.CmdUndo.Enabled());
        EXPECT_TRUE(e.CmdRedo.Enabled());
        e.CmdRedo.Click();
        EXPECT_TRUE(SamePixels(e.Picture(), line));
        e.CmdUndo.Click();
        Drag({30, 200}, {300, 40});  // a new stroke after undo: the undone line is gone for good
        EXPECT_FALSE(e.CmdRedo.Enabled());
        EXPECT_EQ(e.UndoCount(), 2);
    });
}

// What a press and release without a drag, or a drag with the right button, leaves.
TEST_F(Editor, ClicksAndRightButtonDrags) {
    Edit([&] {
        TImageEditorForm& e = E();
        struct Case {
            TToolButton* tool;
            MouseButton button;
            bool move;
            bool snapshot;
        } cases[] = {
            {&e.CmdLine, MouseButton::Left, false, true},
            {&e.CmdRectangle, MouseButton::Left, false, true},
            {&e.CmdEllipse, MouseButton::Left, false, true},
            {&e.CmdClearClip, MouseButton::Left, false, true},
            {&e.CmdArrow, MouseButton::Left, false, true},  // tip equals tail: nothing drawn, still a snapshot
            {&e.CmdLine, MouseButton::Right, true, false},
            {&e.CmdPen, MouseButton::Right, true, false},
        };
        for (const Case& c : cases) {
            c.tool->Click();
            Bitmap before = e.Picture();
            int count = e.UndoCount();
            if (c.move) {
                Drag({50, 50}, {150, 120}, c.button);
            } else {
                e.Image1MouseDown(c.button, 0, 60, 60);
                e.Image1MouseUp(c.button, 0, 60, 60);
            }
            EXPECT_EQ(e.UndoCount(), count + (c.snapshot ? 1 : 0)) << c.tool->Hint;
            if (!c.snapshot || c.tool == &e.CmdArrow) {
                EXPECT_TRUE(SamePixels(before, e.Picture())) << c.tool->Hint;
            }
        }
    });
}

TEST_F(Editor, CropNeedsThirtyPixelsAndOnlyShrinks) {
    Edit([&] {
        TImageEditorForm& e = E();
        Drag({10, 10}, {39, 200});
        EXPECT_EQ(State().SelectionRect, (Rect{0, 0, 400, 300}));
        EXPECT_EQ(e.UndoCount(), 1);
        Drag({10, 10}, {40, 200});
        EXPECT_EQ(State().SelectionRect, (Rect{10, 10, 40, 200}));
        EXPECT_EQ(e.UndoCount(), 2);
        EXPECT_EQ(e.StatusBar1.PanelText(1), "Bildgröße: 30x190");
        EXPECT_EQ(e.Picture().Pixel(5, 5), Grey);
        EXPECT_EQ(e.Picture().Pixel(45, 100), Grey);
        Drag({0, 100}, {35, 299});  // partly outside: the overlap, still 25 wide: dropped
        EXPECT_EQ(State().SelectionRect, (Rect{10, 10, 40, 200}));
        Drag({5, 150}, {399, 299});  // partly outside: the overlap
        EXPECT_EQ(State().SelectionRect, (Rect{10, 150, 40, 200}));
        // A stroke running out of the selection is grey outside it at once.
        e.CmdLine.Click();
        Drag({20, 170}, {200, 170});
        EXPECT_EQ(e.Picture().Pixel(100, 170), Grey);
    });
    // Only the selection goes out.
    EXPECT_EQ(State().ScreenshotBitmap.Width(), 30);
    EXPECT_EQ(State().ScreenshotBitmap.Height(), 50);
}

TEST_F(Editor, TextLinesEnterUndoAndRedo) {
    Edit([&] {
        TImageEditorForm& e = E();
        e.CmdText.Click();
        Bitmap blank = e.Picture();
        e.Image1MouseDown(MouseButton::Right, 0, 200, 100);  // any button opens the box
        e.Image1MouseUp(MouseButton::Right, 0, 200, 100);
        EXPECT_TRUE(e.TextEdit.Visible() && e.TextEdit.Focused());
        EXPECT_EQ(e.TextEdit.GetFont().name, "Tahoma");
        EXPECT_EQ(e.TextEdit.GetFont().pixelHeight, 19);
        EXPECT_EQ(e.TextEdit.Left(), 200);
        EXPECT_EQ(e.TextEdit.Top(), 100 - 23 / 2);
        int narrow = e.TextEdit.Width();
        Type("Test");
        EXPECT_GT(e.TextEdit.Width(), narrow);  // it grows with the text
        PressEnter();
        EXPECT_EQ(e.UndoCount(), 2);
        EXPECT_EQ(e.TextAnchor(), (Point{200, 123}));
        EXPECT_TRUE(e.TextEdit.Visible() && e.TextEdit.Text().empty());
        Bitmap oneLine = e.Picture();
        EXPECT_FALSE(SamePixels(blank, oneLine));
        // Drawn from its top-left corner 11 pixels above the click.
        bool above = false, inside = false;
        for (int y = 0; y < e.Picture().Height(); ++y)
            for (int x = 0; x < e.Picture().Width(); ++x)
                if (e.Picture().Pixel(x, y) != blank.Pixel(x, y)) (y < 89 || x < 200 ? above : inside) = true;
        EXPECT_TRUE(inside);
        EXPECT_FALSE(above);

        PressEnter();  // an empty line: nothing drawn, no snapshot, one line lower
        EXPECT_EQ(e.UndoCount(), 2);
        EXPECT_EQ(e.TextAnchor(), (Point{200, 146}));

        Type("Zwei");
        e.CmdUndo.Click();  // draws the open line, then steps back over it
        EXPECT_FALSE(e.TextEdit.Visible());
        EXPECT_TRUE(SamePixels(e.Picture(), oneLine));
        e.CmdRedo.Click();
        EXPECT_FALSE(SamePixels(e.Picture(), oneLine));
        EXPECT_EQ(e.UndoIndex(), 2);

        // A press while the box has the focus only draws the line.
        e.Image1MouseDown(MouseButton::Left, 0, 50, 250);
        Type("drei");
        int count = e.UndoCount();
        e.Image1MouseDown(MouseButton::Left, 0, 10, 10);
        EXPECT_FALSE(e.TextEdit.Visible());
        EXPECT_EQ(e.UndoCount(), count + 1);
    });
}

// A line typed and not yet ended with Enter goes into the picture, as an
// undoable step, by every way out that keeps the screenshot, also when the
// focus left the box first (a button takes it before its click arrives; the
// view takes it before a click beside a small picture reaches the handler).
TEST_F(Editor, OpenTextLineIsCommittedByEveryWayOut) {
    fake.dialogs.answer = "C:\\Bilder\\x.jpg";
    struct Case {
        const char* way;
        std::function<void(TImageEditorForm&)> leave;
        std::uint8_t outputMode;
    } cases[] = {
        {"Hochladen", [](TImageEditorForm& e) { e.UploadButton.SetFocus(); e.UploadButton.Click(); }, omUpload},
        {"Speichern", [](TImageEditorForm& e) { e.SaveButton.SetFocus(); e.SaveButton.Click(); }, omSaveLocally},
        {"Escape from the title", [](TImageEditorForm& e) { e.CaptionEdit.SetFocus(); EXPECT_TRUE(e.KeyPress(27)); },
         omUpload},
        {"a click in the view, which took the focus first, then Hochladen",
         [](TImageEditorForm& e) {
             e.ScrollBox1.SetFocus();
             e.ScrollBox1.OnMouseDown(MouseButton::Left, 0, 390, 290);
             e.ScrollBox1.OnMouseUp(MouseButton::Left, 0, 390, 290);
             EXPECT_FALSE(e.TextEdit.Visible());  // no fresh box in its place
             EXPECT_EQ(e.UndoCount(), 2);
             EXPECT_TRUE(e.CmdUndo.Enabled());
             e.UploadButton.Click();
         },
         omUpload},
    };
    for (const Case& c : cases) {
        Bitmap blank;
        Edit([&] {
            TImageEditorForm& e = E();
            e.CmdText.Click();
            blank = e.Picture();
            e.Image1MouseDown(MouseButton::Left, 0, 100, 100);
            e.Image1MouseUp(MouseButton::Left, 0, 100, 100);
            Type("Hallo Welt");
            c.leave(e);
            EXPECT_EQ(e.UndoCount(), 2) << c.way;
        });
        EXPECT_EQ(State().OutputMode, c.outputMode) << c.way;
        // What the road handed on carries the line, where it was typed.
        const Bitmap& sent = State().ScreenshotBitmap;
        ASSERT_EQ(sent.Width(), blank.Width()) << c.way;
        int changed = 0;
        for (int y = 80; y < 115; ++y)
            for (int x = 95; x < 200; ++x) changed += sent.Pixel(x, y) != blank.Pixel(x, y);
        EXPECT_GT(changed, 50) << c.way;
    }
    EXPECT_EQ(http.SentRequests().size(), 3u);  // the three uploads
}

// Ctrl+Z undoes, Ctrl+Y and Ctrl+Shift+Z redo, as the buttons do; in a text
// field the keys are the field's.
TEST_F(Editor, UndoAndRedoKeys) {
    Edit([&] {
        TImageEditorForm& e = E();
        e.CmdLine.Click();
        Bitmap before = e.Picture();
        Drag({20, 20}, {200, 150});
        Bitmap line = e.Picture();
        struct Case {
            std::uint16_t key;
            unsigned shift;
            const Bitmap* after;  // nullptr: the key is not the picture's
            const char* what;
        } cases[] = {
            {'Z', ssCtrl, &before, "Ctrl+Z undoes"},
            {'Z', ssCtrl, &before, "Ctrl+Z with nothing left to undo"},
            {'Y', ssCtrl, &line, "Ctrl+Y redoes"},
            {'Z', ssCtrl, &before, "Ctrl+Z again"},
            {'Z', ssCtrl | ssShift, &line, "Ctrl+Shift+Z redoes"},
            {'Y', ssCtrl, &line, "Ctrl+Y with nothing left to redo"},
            {'Z', ssNone, nullptr, "Z alone"},
            {'Z', ssCtrl | ssAlt, nullptr, "Ctrl+Alt+Z"},
            {'Y', ssCtrl | ssShift, nullptr, "Ctrl+Shift+Y"},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(e.KeyDown(c.key, c.shift), c.after != nullptr) << c.what;
            EXPECT_TRUE(SamePixels(e.Picture(), c.after ? *c.after : line)) << c.what;
            EXPECT_EQ(e.CmdUndo.Enabled(), e.UndoIndex() > 0) << c.what;
        }

        // In the title field and in the open text box the keys belong to the field.
        e.CaptionEdit.SetFocus();
        EXPECT_FALSE(e.KeyDown('Z', ssCtrl));
        e.CmdText.Click();
        e.Image1MouseDown(MouseButton::Left, 0, 100, 250);
        Type("offen");
        EXPECT_FALSE(e.KeyDown('Z', ssCtrl));
        EXPECT_TRUE(e.TextEdit.Visible());
        EXPECT_TRUE(SamePixels(e.Picture(), line));
    });
}

// F10 abandons the screenshot even with a line open; the line still goes into
// the editor's picture, but nothing is uploaded or listed.
TEST_F(Editor, F10AbortsWithoutWorkerOrHistoryEntry) {
    Bitmap before;
    Edit([&] {
        E().CmdText.Click();
        E().Image1MouseDown(MouseButton::Left, 0, 100, 100);
        Type("weg");
        before = E().Picture();
        EXPECT_TRUE(E().KeyDown(0x79, ssNone));
        EXPECT_NE(E().GetModalResult(), mrNone);
    });
    EXPECT_FALSE(SamePixels(before, E().Picture()));  // closing drew the open line
    EXPECT_EQ(State().OutputMode, omAbort);
    EXPECT_TRUE(http.SentRequests().empty());
    EXPECT_TRUE(program->Context().windows.history->Names().empty());
    EXPECT_TRUE(State().ReadyForCapture);
    EXPECT_TRUE(Main().Visible());
}

TEST_F(Editor, TitleBecomesTheDescriptionUnlessUntouched) {
    for (std::string title : {"Titel...", "", "Mein Titel"}) {
        Edit([&] { E().CaptionEdit.SetText(title); });
        std::string body = http.SentRequests().back().body;
        std::string field = "name=\"description\"\r\n\r\n" + std::string(title == "Titel..." ? "" : title) + "\r\n";
        EXPECT_NE(body.find(field), std::string::npos) << title;
    }
}

TEST_F(Editor, EscapeTakesTheDefaultActionSaveLocally) {
    Main().SaveLocalCheckBox.SetChecked(true);
    fake.dialogs.answer = "C:\\Bilder\\x.jpg";
    Edit([&] {
        EXPECT_TRUE(E().SaveButton.GetFont().bold);
        EXPECT_FALSE(E().UploadButton.GetFont().bold);
        EXPECT_NE(E().StatusBar1.PanelText(2).find("Mit ESC wird der Screenshot gespeichert."), std::string::npos);
        EXPECT_TRUE(E().KeyPress(27));
    });
    EXPECT_EQ(State().OutputMode, omSaveLocally);
    EXPECT_TRUE(http.SentRequests().empty());
    EXPECT_TRUE(fake.files.FileExists("C:\\Bilder\\x.jpg"));
}

TEST_F(Editor, AbortHidesAHiddenMainWindowAgainAndTrayExitSendsNothing) {
    Main().TrayIcon.SetActive(true);
    Main().Hide();
    Edit([&] { E().AbortButton.Click(); });
    EXPECT_FALSE(Main().Visible());
    Edit([&] { Main().PopupExitClick(); });  // "Beenden" from the tray while the editor shows
    EXPECT_TRUE(backend.Terminated());
    EXPECT_TRUE(http.SentRequests().empty());
    EXPECT_TRUE(program->Context().windows.history->Names().empty());
}

TEST_F(Editor, ActiveWindowGrabHasNoMonitorControlsAndStaysPut) {
    Main().ActiveWindowCheckBox.SetChecked(true);
    Edit([&] {
        EXPECT_FALSE(E().MonitorSelectBox.Visible() || E().DesktopPanel.Visible());
        EXPECT_EQ(E().ToolbarPanel.Left(), 10);
        EXPECT_EQ(State().SelectionRect, (Rect{0, 0, 400, 300}));
        EXPECT_EQ(E().Bounds().left, 400 / 2 - 400 / 2);
        EXPECT_EQ(E().StatusBar1.PanelText(1), "Bildgröße: 400x300");
    });
}

TEST_F(Editor, ColoursFollowTheTool) {
    Edit([&] {
        TImageEditorForm& e = E();
        e.CmdClearClip.Click();
        EXPECT_EQ(e.ColorPanel.Color(), clBlack);
        fake.dialogs.colourAnswer = clLime;
        e.ColorPanel.Click();
        EXPECT_EQ(fake.dialogs.colourDialogs.back(), clBlack);
        EXPECT_EQ(State().BrushColor, clLime);
        EXPECT_EQ(State().PenColor, clRed);
        e.CmdPen.Click();
        EXPECT_EQ(e.ColorPanel.Color(), clRed);
        fake.dialogs.colourAnswer.reset();  // cancelled: nothing changes
        e.ColorPanel.Click();
        EXPECT_EQ(State().PenColor, clRed);
        e.PenWidth.Step(+1);
        EXPECT_EQ(e.PenWidthEdit.Text(), "4");
        EXPECT_EQ(e.Picture().Canvas().pen.width, 4);
        e.PenWidth.SetPosition(500);
        EXPECT_EQ(e.PenWidth.Position(), 100);
    });
    EXPECT_EQ(State().PenWidth, 100);  // saved with the settings at the end
}

TEST_F(Editor, WheelAndAutoScroll) {
    StartWith({{0, 0, 400, 300}, {400, 0, 1600, 1200}});  // a big second monitor: a big picture
    Edit([&] {
        TImageEditorForm& e = E();
        bool handled = false;
        e.ScrollBox1.SetFocus();
        e.AppMessage(0x020A, std::uintptr_t(std::uint16_t(-120)) << 16, 0, handled);
        EXPECT_EQ(e.ScrollBox1.Position().y, 40);
        e.AppMessage(0x020A, std::uintptr_t(120) << 16, 0, handled);
        EXPECT_EQ(e.ScrollBox1.Position().y, 0);
        EXPECT_FALSE(handled);
        e.CaptionEdit.SetFocus();
        e.AppMessage(0x020A, std::uintptr_t(std::uint16_t(-120)) << 16, 0, handled);
        EXPECT_EQ(e.ScrollBox1.Position().y, 0);

        // Dragging past the view's right edge arms the 50 ms timer; each tick
        // scrolls half the way to the pointer.
        e.ScrollBox1.ScrollTo(0, 0);
        e.CmdLine.Click();
        e.Image1MouseDown(MouseButton::Left, 0, 100, 100);
        int right = e.ScrollBox1.ClientWidth() + 200;
        e.Image1MouseMove(0, right, 100);
        EXPECT_TRUE(e.AutoScrollArmed());
        e.Timer1Timer();
        EXPECT_EQ(e.ScrollBox1.Position().x, 100);
        EXPECT_FALSE(e.AutoScrollArmed());
        e.Image1MouseMove(0, right, 100);
        e.Timer1Timer();
        EXPECT_EQ(e.ScrollBox1.Position().x, 150);
        e.Image1MouseUp(MouseButton::Left, 0, right, 100);
    });
}

// Two monitors side by side, the left one taller than the grab.
TEST_F(Editor, TwoMonitorsLeftToRight) {
    StartWith({{0, 0, 1280, 1024}, {-1920, 0, 0, 1080}});
    Edit([&] {
        TImageEditorForm& e = E();
        EXPECT_EQ(e.Picture().Width(), 3200);
        EXPECT_EQ(e.MonitorsLeftToRight().front(), (Rect{-1920, 0, 0, 1080}));
        EXPECT_EQ(e.LeftmostMonitorEdge(), -1920);
        EXPECT_EQ(e.DesktopPanel.Width(), 100);
        EXPECT_EQ(State().SelectionRect, (Rect{0, 0, 3200, 1024}));  // the left one doesn't fit
        EXPECT_EQ(e.ScrollBox1.Position().x, 0);
        e.MonitorSelectBox.SelectedByUser(1);
        EXPECT_EQ(State().SelectionRect, (Rect{1920, 0, 3200, 1024}));
        EXPECT_EQ(e.ScrollBox1.Position().x, 1920);
        EXPECT_EQ(e.Picture().Pixel(100, 100), Grey);
        e.MonitorSelectBox.SelectedByUser(2);  // all: the desktop is higher than the grab
        EXPECT_EQ(State().SelectionRect, (Rect{1920, 0, 3200, 1024}));
        EXPECT_EQ(e.MonitorSelectBox.ItemIndex(), 2);
        EXPECT_EQ(e.UndoCount(), 1);  // monitor choices take no snapshot

        e.DesktopPanelMouseDown(MouseButton::Left, 0, 25, 5);
        e.DesktopPanel.Click();
        EXPECT_EQ(e.MonitorSelectBox.ItemIndex(), 0);
        e.DesktopPanelMouseDown(MouseButton::Left, 0, 75, 5);
        e.DesktopPanel.Click();
        EXPECT_EQ(e.MonitorSelectBox.ItemIndex(), 1);
        e.DesktopPanel.NativeDoubleClick();
        EXPECT_EQ(e.MonitorSelectBox.ItemIndex(), 2);
        // The band of the chosen monitor is marked; the rest of the thumbnail is darkened.
        e.SelectMonitor(1);
        EXPECT_EQ(e.DesktopImage.Picture.Pixel(10, 11), clBlack);
        EXPECT_NE(e.DesktopImage.Picture.Pixel(70, 11), clBlack);
    });
}

// Layouts the left-to-right walk can't follow end, and every entry has a monitor.
TEST_F(Editor, MonitorWalkEndsOnGapsAndStacks) {
    struct Layout {
        std::vector<Rect> monitors;
        std::vector<Rect> leftToRight;
    } layouts[] = {
        {{{0, 0, 800, 600}, {1000, 0, 1800, 600}}, {{0, 0, 800, 600}, {1000, 0, 1800, 600}}},
        {{{0, 0, 800, 600}, {0, 600, 1024, 1368}}, {{0, 0, 800, 600}, {0, 600, 1024, 1368}}},
    };
    for (const Layout& l : layouts) {
        program.reset();
        StartWith(l.monitors);
        EXPECT_EQ(E().MonitorsLeftToRight(), l.leftToRight);
    }
}

TEST_F(Editor, MonitorChoiceAfterCropBringsTheUneditedPictureBack) {
    Edit([&] {
        TImageEditorForm& e = E();
        Drag({100, 100}, {200, 200});
        e.CmdClearClip.Click();
        Drag({120, 120}, {180, 180});
        Colour drawn = e.Picture().Pixel(150, 150);
        EXPECT_EQ(e.Picture().Pixel(50, 50), Grey);
        e.SelectMonitor(0);
        EXPECT_EQ(State().SelectionRect, (Rect{0, 0, 400, 300}));
        EXPECT_EQ(e.Picture().Pixel(50, 50), State().UneditedBitmap.Pixel(50, 50));
        EXPECT_EQ(e.Picture().Pixel(150, 150), drawn);  // edits inside the old crop stay
        e.CmdUndo.Click();  // back to the crop with its selection
        EXPECT_EQ(State().SelectionRect, (Rect{100, 100, 200, 200}));
        EXPECT_EQ(e.Picture().Pixel(50, 50), Grey);
    });
}

// Any sequence of strokes, crops, monitor choices, text lines, undos and redos
// gives exactly the pictures a stack of full copies would give.
TEST_F(Editor, UndoAndRedoEqualFullCopies) {
    StartWith({{0, 0, 300, 200}, {300, 0, 500, 200}});
    for (unsigned seed : {1u, 2u, 3u}) {
        Edit([&] {
            TImageEditorForm& e = E();
            std::mt19937 random(seed);
            auto pick = [&](int n) { return int(random() % unsigned(n)); };
            auto point = [&] { return Point{pick(560) - 30, pick(260) - 30}; };
            std::vector<Bitmap> copies{e.Picture()};
            std::vector<Rect> selections{State().SelectionRect};
            TToolButton* tools[] = {&e.CmdClip,      &e.CmdPen,       &e.CmdLine,     &e.CmdArrow,
                                    &e.CmdRectangle, &e.CmdEllipse,   &e.CmdClearClip};
            for (int step = 0; step < 200; ++step) {
                int index = e.UndoIndex();
                int action = pick(10);
                if (action < 5) {
                    tools[pick(7)]->Click();
                    e.PenWidth.SetPosition(1 + pick(12));
                    Drag(point(), point(), pick(6) == 0 ? MouseButton::Right : MouseButton::Left);
                } else if (action == 5) {
                    e.SelectMonitor(pick(3) - 1);
                } else if (action == 6) {
                    e.CmdText.Click();
                    e.Image1MouseDown(MouseButton::Left, 0, point().x, point().y);
                    Type(pick(2) ? "Hallo" : "");
                    PressEnter();
                    e.CmdLine.Click();  // closes the box again
                } else {
                    (action < 9 ? e.CmdUndo : e.CmdRedo).Click();
                    if (e.UndoIndex() == index) continue;  // the button was disabled
                    ASSERT_TRUE(SamePixels(e.Picture(), copies[size_t(e.UndoIndex())])) << seed << " " << step;
                    ASSERT_EQ(State().SelectionRect, selections[size_t(e.UndoIndex())]);
                    continue;
                }
                ASSERT_LE(e.UndoIndex(), index + 1);
                if (e.UndoIndex() == index + 1) {
                    copies.resize(size_t(index + 1));
                    selections.resize(size_t(index + 1));
                    copies.push_back(e.Picture());
                    selections.push_back(State().SelectionRect);
                }
            }
            std::size_t fullCopies = copies.size() * size_t(e.Picture().Width()) * size_t(e.Picture().Height()) * 3;
            EXPECT_LT(e.UndoBytesHeld(), fullCopies / 2);
            e.AbortButton.Click();
        });
    }
}

}  // namespace snapora
