#pragma once
// The editor's undo history, as if it kept a full copy of the picture per step,
// but holding only what changed: the picture is cut into tiles, every change
// announces its area first (Touch), and a step keeps the tiles that differ from
// the step before as their XOR, run-length coded. Applying a step's XOR takes
// the picture from one step to the next and back.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Geometry.h"

namespace snapora {

class Bitmap;

class UndoStack {
public:
    static constexpr int TileSize = 64;

    explicit UndoStack(Bitmap& picture) : picture_(picture) {}

    // No steps; the picture as it is now is where the next Push starts.
    void Clear();
    // Must come before the picture's pixels in `area` change.
    void Touch(const Rect& area);
    // A new step holding the picture as it is and `selection`; steps that were
    // undone are dropped.
    void Push(const Rect& selection);
    // Back to the step before or after; the picture then equals that step and
    // its selection is returned. Changes since the last Push are dropped.
    Rect StepUndo();
    Rect StepRedo();

    int Index() const { return index_; }  // -1 while empty
    int Count() const { return int(steps_.size()); }
    bool CanUndo() const { return index_ > 0; }
    bool CanRedo() const { return index_ >= 0 && index_ < Count() - 1; }
    // The area of the picture the last step changed, for repainting.
    Rect LastRestored() const { return lastRestored_; }
    // Bytes of pixel data held, steps and pending tiles together.
    std::size_t BytesHeld() const;

private:
    struct TileDelta {
        int tile;
        std::vector<std::uint8_t> xorRuns;  // (zero count, literal count, literals)...
    };
    struct Step {
        std::vector<TileDelta> tiles;  // empty for the first step
        Rect selection;
    };

    Rect TileRect(int tile) const;
    void ReadTile(int tile, std::vector<std::uint8_t>& into) const;
    void WriteTile(int tile, const std::vector<std::uint8_t>& pixels);
    void ApplyXor(const TileDelta& delta);
    void DropPending(bool restore);
    void Reshape();

    Bitmap& picture_;
    int columns_ = 0, rows_ = 0;
    std::vector<std::vector<std::uint8_t>> pending_;  // per tile: its pixels at the last Push, once touched
    std::vector<int> pendingTiles_;
    std::vector<Step> steps_;
    int index_ = -1;
    Rect lastRestored_;
};

}  // namespace snapora
