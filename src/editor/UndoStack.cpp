#include "editor/UndoStack.h"

#include <algorithm>
#include <cstring>

#include "imaging/Bitmap.h"

namespace snapora {

namespace {

// Runs of unchanged bytes cost four bytes however long they are.
void PutCount(std::vector<std::uint8_t>& out, std::size_t n) {
    out.push_back(std::uint8_t(n));
    out.push_back(std::uint8_t(n >> 8));
}

std::size_t GetCount(const std::uint8_t*& p) {
    std::size_t n = std::size_t(p[0]) | (std::size_t(p[1]) << 8);
    p += 2;
    return n;
}

// XOR of two equal-sized tiles as (zeros, literals) pairs; empty when they are equal.
std::vector<std::uint8_t> XorRuns(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    std::vector<std::uint8_t> out;
    std::size_t n = a.size(), i = 0;
    while (i < n) {
        std::size_t zeros = 0;
        while (i < n && a[i] == b[i]) ++i, ++zeros;
        if (i == n) break;
        std::size_t start = i;
        while (i < n && a[i] != b[i]) ++i;
        PutCount(out, zeros);
        PutCount(out, i - start);
        for (std::size_t k = start; k < i; ++k) out.push_back(std::uint8_t(a[k] ^ b[k]));
    }
    return out;
}

}  // namespace

void UndoStack::Reshape() {
    columns_ = (picture_.Width() + TileSize - 1) / TileSize;
    rows_ = (picture_.Height() + TileSize - 1) / TileSize;
    pending_.assign(std::size_t(columns_) * std::size_t(rows_), {});
    pendingTiles_.clear();
}

void UndoStack::Clear() {
    steps_.clear();
    index_ = -1;
    Reshape();
}

Rect UndoStack::TileRect(int tile) const {
    int x = (tile % columns_) * TileSize, y = (tile / columns_) * TileSize;
    return Rect{x, y, x + TileSize, y + TileSize}.Intersect(picture_.Bounds());
}

void UndoStack::ReadTile(int tile, std::vector<std::uint8_t>& into) const {
    Rect r = TileRect(tile);
    std::size_t rowBytes = std::size_t(r.Width()) * 3;
    into.resize(rowBytes * std::size_t(r.Height()));
    for (int y = r.top; y < r.bottom; ++y)
        std::memcpy(into.data() + std::size_t(y - r.top) * rowBytes, picture_.Row(y) + r.left * 3, rowBytes);
}

void UndoStack::WriteTile(int tile, const std::vector<std::uint8_t>& pixels) {
    Rect r = TileRect(tile);
    std::size_t rowBytes = std::size_t(r.Width()) * 3;
    for (int y = r.top; y < r.bottom; ++y)
        std::memcpy(picture_.Row(y) + r.left * 3, pixels.data() + std::size_t(y - r.top) * rowBytes, rowBytes);
}

void UndoStack::Touch(const Rect& area) {
    if (columns_ * TileSize < picture_.Width() || rows_ * TileSize < picture_.Height() ||
        pending_.size() != std::size_t(columns_) * std::size_t(rows_))
        Reshape();  // a new picture without a Clear: start from it
    Rect r = area.Intersect(picture_.Bounds());
    if (r.IsEmpty()) return;
    for (int ty = r.top / TileSize; ty <= (r.bottom - 1) / TileSize; ++ty)
        for (int tx = r.left / TileSize; tx <= (r.right - 1) / TileSize; ++tx) {
            int tile = ty * columns_ + tx;
            if (!pending_[std::size_t(tile)].empty()) continue;
            ReadTile(tile, pending_[std::size_t(tile)]);
            pendingTiles_.push_back(tile);
        }
}

void UndoStack::Push(const Rect& selection) {
    steps_.resize(std::size_t(index_ + 1));
    Step step{{}, selection};
    if (index_ >= 0) {
        std::vector<std::uint8_t> now;
        for (int tile : pendingTiles_) {
            ReadTile(tile, now);
            std::vector<std::uint8_t> runs = XorRuns(pending_[std::size_t(tile)], now);
            if (!runs.empty()) step.tiles.push_back({tile, std::move(runs)});
        }
    }
    steps_.push_back(std::move(step));
    ++index_;
    DropPending(false);
}

void UndoStack::DropPending(bool restore) {
    for (int tile : pendingTiles_) {
        if (restore) {
            WriteTile(tile, pending_[std::size_t(tile)]);
            lastRestored_ = lastRestored_.Union(TileRect(tile));
        }
        std::vector<std::uint8_t>().swap(pending_[std::size_t(tile)]);
    }
    pendingTiles_.clear();
}

void UndoStack::ApplyXor(const TileDelta& delta) {
    Rect r = TileRect(delta.tile);
    std::size_t rowBytes = std::size_t(r.Width()) * 3, offset = 0;
    const std::uint8_t* p = delta.xorRuns.data();
    const std::uint8_t* end = p + delta.xorRuns.size();
    while (p < end) {
        offset += GetCount(p);
        for (std::size_t literals = GetCount(p); literals > 0;) {
            std::size_t y = offset / rowBytes, x = offset % rowBytes;
            std::size_t n = std::min(literals, rowBytes - x);
            std::uint8_t* target = picture_.Row(r.top + int(y)) + std::size_t(r.left) * 3 + x;
            for (std::size_t k = 0; k < n; ++k) target[k] ^= p[k];
            p += n;
            offset += n;
            literals -= n;
        }
    }
    lastRestored_ = lastRestored_.Union(r);
}

Rect UndoStack::StepUndo() {
    lastRestored_ = {};
    if (!CanUndo()) return index_ >= 0 ? steps_[std::size_t(index_)].selection : Rect{};
    DropPending(true);
    for (const TileDelta& delta : steps_[std::size_t(index_)].tiles) ApplyXor(delta);
    --index_;
    return steps_[std::size_t(index_)].selection;
}

Rect UndoStack::StepRedo() {
    lastRestored_ = {};
    if (!CanRedo()) return index_ >= 0 ? steps_[std::size_t(index_)].selection : Rect{};
    DropPending(true);
    ++index_;
    for (const TileDelta& delta : steps_[std::size_t(index_)].tiles) ApplyXor(delta);
    return steps_[std::size_t(index_)].selection;
}

std::size_t UndoStack::BytesHeld() const {
    std::size_t bytes = 0;
    for (const Step& step : steps_)
        for (const TileDelta& delta : step.tiles) bytes += delta.xorRuns.size();
    for (int tile : pendingTiles_) bytes += pending_[std::size_t(tile)].size();
    return bytes;
}

}  // namespace snapora
