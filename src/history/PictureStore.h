#pragma once
// The history's pictures: each screenshot packed losslessly (PackedPicture)
// on a thread of its own, so that a long list holds a few MB per screenshot
// instead of a full bitmap. Until its turn comes an entry keeps a raw copy,
// or reads the caller's picture where the caller lends it; packing waits
// for StartPacking, so that it does not take a processor from the
// compression and upload of the screenshot.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/Bitmap.h"

namespace snapora {

class PictureStore {
public:
    PictureStore() = default;
    ~PictureStore();  // waits for the packer
    PictureStore(const PictureStore&) = delete;
    PictureStore& operator=(const PictureStore&) = delete;

    // Called on one thread (the UI's).
    void Insert(std::size_t at, const Bitmap& picture);  // copies the pixels
    // Packs straight from `picture`, without a copy: it must neither change
    // nor go before WaitUntilPacked has returned.
    void InsertLent(std::size_t at, const Bitmap& picture);
    void Erase(std::size_t at);
    void Clear();
    std::size_t Size() const { return entries_.size(); }
    // The entry's pixels, exactly as they were inserted, into `picture`
    // (whose memory is used again when the size is the same).
    void Load(std::size_t index, Bitmap& picture) const;
    Bitmap Picture(std::size_t index) const;
    // Memory the entry holds now.
    std::size_t Bytes(std::size_t index) const;

    // From any thread: what waits may be packed now.
    void StartPacking();
    // Packing pauses, after the band at hand, until StartPacking: a capture
    // has begun, and its grab and compression come first.
    void HoldPacking();
    // Until everything inserted so far is packed (starts packing too).
    void WaitUntilPacked();
    // Whether an entry still reads the pixels of `picture` (lent, not packed yet).
    bool Reads(const Bitmap& picture) const;
    // Until no entry reads them any more (packing goes on, held or not, if it must).
    void WaitUntilReleased(const Bitmap& picture);

    struct Entry;

private:
    void Add(std::size_t at, std::shared_ptr<Entry> entry);
    bool ReadsLocked(const std::uint8_t* pixels) const;  // mutex_ held
    void Pack();

    std::vector<std::shared_ptr<Entry>> entries_;

    mutable std::mutex mutex_;  // guards what follows
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Entry>> waiting_;
    bool released_ = false, stopping_ = false, busy_ = false;
    const std::uint8_t* packing_ = nullptr;  // the pixels being packed
    std::thread packer_;
};

}  // namespace snapora
