// What the editor's undo history costs on a big desktop: 100 strokes of mixed
// tools on a 7680x2160 picture, then 100 undos and 100 redos.
//   editor_undo_bench [FILE.ppm]   (a binary PPM of the picture; a generated one without)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "Ppm.h"
#include "app/Program.h"
#include "editor/ImageEditorForm.h"
#include "platform/fake/FakePlatform.h"
#include "ui/headless/HeadlessBackend.h"
#include "upload/HttpClient.h"

using namespace snapora;
using Steady = std::chrono::steady_clock;

namespace {

// The editor sends nothing; the program wants a client all the same.
class NoHttpClient final : public HttpClient {
public:
    std::string Post(const std::string&, MultipartForm&) override { throw HttpError("offline"); }
    std::string Get(const std::string&) override { throw HttpError("offline"); }
    void Disconnect() override {}
    bool Connected() const override { return false; }
};

double Milliseconds(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

Bitmap Generated(int width, int height) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.Row(y);
        for (int x = 0; x < width; ++x) {  // windows and text-like stripes
            bool text = (y / 14) % 3 == 0 && (x / 7) % 5 != 0;
            std::uint8_t shade = std::uint8_t(200 + ((x / 400 + y / 300) % 4) * 12);
            row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = text ? std::uint8_t(40) : shade;
        }
    }
    return picture;
}

}  // namespace

int main(int argc, char** argv) {
    Bitmap picture;
    if (argc > 1 && !ReadPpm(argv[1], picture)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    if (picture.IsEmpty()) picture = Generated(7680, 2160);

    HeadlessBackend backend;
    FakePlatform fake;
    fake.desktop.monitors = {{0, 0, picture.Width(), picture.Height()}};
    NoHttpClient http;
    Program program(backend, fake.platform, http);
    if (!program.Start()) return 1;
    TImageEditorForm& editor = *program.Context().windows.editor;
    CaptureState& state = program.State();
    state.ActiveWindowOnly = true;  // no thumbnail: only the strokes count
    state.UneditedBitmap = picture;
    editor.Picture() = picture;

    std::size_t peak = 0;
    double strokes = 0, undos = 0, redos = 0;
    int undone = 0, redone = 0;
    backend.OnModal = [&](Form&) {
        std::mt19937 random(7);
        auto pick = [&](int n) { return int(random() % unsigned(n)); };
        int w = picture.Width(), h = picture.Height();
        TToolButton* line = &editor.CmdLine;
        TToolButton* tools[] = {line, &editor.CmdRectangle, &editor.CmdPen, &editor.CmdClearClip};
        for (int i = 0; i < 100; ++i) {
            int kind = i % 10 < 3 ? 0 : i % 10 < 5 ? 1 : i % 10 < 8 ? 2 : 3;  // 30 lines, 20 rectangles, 30 pens, 20 fills
            tools[kind]->Click();
            editor.PenWidth.SetPosition(3 + pick(6));
            Point from{pick(w), pick(h)};
            Point to = kind == 3 ? Point{std::min(w - 1, from.x + 2400), std::min(h - 1, from.y + 700)}  // a tenth
                                 : Point{pick(w), pick(h)};
            auto started = Steady::now();
            editor.Image1MouseDown(MouseButton::Left, 0, from.x, from.y);
            int moves = kind == 2 ? 60 : 8;
            for (int m = 1; m <= moves; ++m) {
                Point p{from.x + (to.x - from.x) * m / moves, from.y + (to.y - from.y) * m / moves};
                if (kind == 2) p.y += pick(41) - 20;  // a wobbly freehand line
                editor.Image1MouseMove(0, p.x, p.y);
                peak = std::max(peak, editor.UndoBytesHeld());
            }
            editor.Image1MouseUp(MouseButton::Left, 0, to.x, to.y);
            strokes += Milliseconds(Steady::now() - started);
            peak = std::max(peak, editor.UndoBytesHeld());
        }
        auto started = Steady::now();
        for (; undone < 100 && editor.CmdUndo.Enabled(); ++undone) editor.UndoClick();
        undos = Milliseconds(Steady::now() - started);
        started = Steady::now();
        for (; redone < 100 && editor.CmdRedo.Enabled(); ++redone) editor.CmdRedoClick();
        redos = Milliseconds(Steady::now() - started);
        peak = std::max(peak, editor.UndoBytesHeld());
        editor.AbortButton.Click();
    };
    editor.ShowModal();

    double fullCopies = 101.0 * picture.Width() * picture.Height() * 3;
    std::printf("Editor undo history on a %dx%d picture (%s)\n", picture.Width(), picture.Height(),
                argc > 1 ? argv[1] : "generated");
    std::printf("  100 strokes (30 lines, 20 rectangles, 30 freehand, 20 fills of a tenth)\n");
    std::printf("  time per stroke:  %8.2f ms\n", strokes / 100);
    std::printf("  time per undo:    %8.2f ms (%d undos)\n", undone ? undos / undone : 0.0, undone);
    std::printf("  time per redo:    %8.2f ms (%d redos)\n", redone ? redos / redone : 0.0, redone);
    std::printf("  peak bytes held:  %8.1f MB (full copies would hold %.1f MB)\n", double(peak) / 1e6,
                fullCopies / 1e6);
    return 0;
}
