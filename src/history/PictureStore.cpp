#include "history/PictureStore.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "base/Processors.h"
#include "imaging/PackedPicture.h"

namespace snapora {

struct PictureStore::Entry {
    int width = 0, height = 0;
    mutable std::mutex mutex;        // guards the change to packed
    const std::uint8_t* rows = nullptr;  // the pixels until packed: `raw` or the lender's
    std::ptrdiff_t stride = 0;
    std::vector<std::uint8_t> raw;
    std::optional<PackedPicture> packed;
};

PictureStore::~PictureStore() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (packer_.joinable()) packer_.join();
}

void PictureStore::Insert(std::size_t at, const Bitmap& picture) {
    auto entry = std::make_shared<Entry>();
    entry->width = picture.Width();
    entry->height = picture.Height();
    const std::size_t rowBytes = std::size_t(entry->width) * 3;
    entry->raw.resize(rowBytes * std::size_t(entry->height));
    for (int y = 0; y < entry->height; ++y) std::memcpy(entry->raw.data() + y * rowBytes, picture.Row(y), rowBytes);
    entry->rows = entry->raw.data();
    entry->stride = std::ptrdiff_t(rowBytes);
    Add(at, std::move(entry));
}

void PictureStore::InsertLent(std::size_t at, const Bitmap& picture) {
    auto entry = std::make_shared<Entry>();
    entry->width = picture.Width();
    entry->height = picture.Height();
    entry->rows = picture.IsEmpty() ? nullptr : picture.Row(0);
    entry->stride = picture.Stride();
    Add(at, std::move(entry));
}

void PictureStore::Add(std::size_t at, std::shared_ptr<Entry> entry) {
    entries_.insert(entries_.begin() + std::ptrdiff_t(at), entry);
    std::lock_guard lock(mutex_);
    released_ = false;  // a new screenshot: its compression comes first
    waiting_.push_back(std::move(entry));
    if (!packer_.joinable()) packer_ = std::thread([this] { Pack(); });
}

void PictureStore::Erase(std::size_t at) { entries_.erase(entries_.begin() + std::ptrdiff_t(at)); }

void PictureStore::Clear() { entries_.clear(); }

void PictureStore::Load(std::size_t index, Bitmap& picture) const {
    const Entry& e = *entries_.at(index);
    std::lock_guard lock(e.mutex);
    if (e.packed) {
        e.packed->UnpackInto(picture);
        return;
    }
    if (picture.Width() != e.width || picture.Height() != e.height) picture.SetSize(e.width, e.height);
    for (int y = 0; y < e.height; ++y)
        std::memcpy(picture.Row(y), e.rows + y * e.stride, std::size_t(e.width) * 3);
}

Bitmap PictureStore::Picture(std::size_t index) const {
    Bitmap picture;
    Load(index, picture);
    return picture;
}

std::size_t PictureStore::Bytes(std::size_t index) const {
    const Entry& e = *entries_.at(index);
    std::lock_guard lock(e.mutex);
    return e.packed ? e.packed->PackedBytes() : e.raw.size();
}

void PictureStore::StartPacking() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

void PictureStore::HoldPacking() {
    std::lock_guard lock(mutex_);
    released_ = false;
}

void PictureStore::WaitUntilPacked() {
    StartPacking();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && !busy_; });
}

bool PictureStore::ReadsLocked(const std::uint8_t* pixels) const {
    if (busy_ && packing_ == pixels) return true;
    // Waiting entries' pixels change only once the packer has taken them.
    return std::any_of(waiting_.begin(), waiting_.end(), [&](const auto& e) { return e->rows == pixels; });
}

bool PictureStore::Reads(const Bitmap& picture) const {
    if (picture.IsEmpty()) return false;
    std::lock_guard lock(mutex_);
    return ReadsLocked(picture.Row(0));
}

void PictureStore::WaitUntilReleased(const Bitmap& picture) {
    if (picture.IsEmpty()) return;
    const std::uint8_t* pixels = picture.Row(0);
    std::unique_lock lock(mutex_);
    if (!ReadsLocked(pixels)) return;
    released_ = true;  // held or not: the pixels are wanted back
    changed_.notify_all();
    changed_.wait(lock, [&] { return !ReadsLocked(pixels); });
}

void PictureStore::Pack() {
    // Packing is never waited for but by a capture that needs its bitmap
    // back: the compression and upload of the next screenshot go first.
    LowerThisThreadsPriority();
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || (released_ && !waiting_.empty()); });
        if (stopping_) return;
        std::shared_ptr<Entry> entry = std::move(waiting_.front());
        waiting_.pop_front();
        busy_ = true;
        packing_ = entry->rows;
        lock.unlock();
        // The pixels are only ever read until they are given up below.
        std::optional<PackedPicture> packed;
        if (entry.use_count() > 1 && entry->rows)  // still in the list
            packed.emplace(entry->rows, entry->stride, entry->width, entry->height, [this] {
                std::unique_lock held(mutex_);
                changed_.wait(held, [this] { return released_ || stopping_; });
            });
        std::vector<std::uint8_t> raw;
        {
            std::lock_guard entryLock(entry->mutex);
            if (packed) entry->packed = std::move(packed);
            entry->rows = nullptr;
            raw = std::move(entry->raw);
        }
        entry.reset();
        raw = {};
        lock.lock();
        busy_ = false;
        packing_ = nullptr;
        changed_.notify_all();
    }
}

}  // namespace snapora
