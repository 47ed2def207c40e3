#include "gif/GifDecoder.h"

#include <algorithm>
#include <cstring>

#include "gif/ByteReader.h"

namespace snapora {

namespace {

constexpr int kMaxFrameSide = 16384;
constexpr std::size_t kMaxFrames = 256;
constexpr int kTableSize = 4096;
// Progress inside a frame only matters when decoding it takes noticeable time.
constexpr long long kRowProgressPixels = 100000;

struct GraphicControl {
    std::uint8_t packed = 0;
    std::uint16_t delay = 0;
    std::uint8_t transparentIndex = 0;
};

// The progress step: the handler sees the load's flag and may clear it.
class Progress {
public:
    explicit Progress(const GifProgressHandler& handler) : handler_(handler) {}
    bool Assigned() const { return bool(handler_); }
    bool KeepOn() const { return keepOn_; }
    // False when the load is to stop.
    bool Step(const ByteReader& reader) {
        if (!handler_) return true;
        const std::size_t size = reader.Size();
        const std::size_t position = reader.Position();
        // 100 * position / size, rounded to the nearest integer, halves up (MulDiv).
        const int percent = size == 0 ? 0 : int((200 * std::uint64_t(position) + size) / (2 * std::uint64_t(size)));
        handler_(GifProgress{position, size, percent}, keepOn_);
        return keepOn_;
    }

private:
    const GifProgressHandler& handler_;
    bool keepOn_ = true;
};

// Skips data sub-blocks through the zero-length terminator, starting with a
// size byte that has already been read.
void SkipSubBlocks(ByteReader& reader, std::uint8_t size) {
    while (size != 0 && !reader.AtEnd()) {
        reader.Skip(size);
        if (reader.AtEnd()) return;
        size = reader.U8();
    }
}

void SkipSubBlocks(ByteReader& reader) {
    if (reader.AtEnd()) return;
    SkipSubBlocks(reader, reader.U8());
}

// Returns false when the table is cut short.
bool ReadColourTable(ByteReader& reader, int bits, std::array<Colour, 256>& table) {
    const std::size_t count = std::size_t(1) << bits;
    std::uint8_t rgb[256 * 3] = {};
    const bool complete = reader.Read(rgb, count * 3);
    for (std::size_t i = 0; i < count; ++i)
        table[i] = MakeColour(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    return complete;
}

// Codes packed LSB-first across the frame's data sub-blocks.
class CodeReader {
public:
    explicit CodeReader(ByteReader& reader) : reader_(reader) {}

    bool Next(int width, int& code) {
        while (bitCount_ < width) {
            if (blockLeft_ == 0) {
                if (ended_ || reader_.AtEnd()) {
                    ended_ = true;
                    return false;
                }
                blockLeft_ = reader_.U8();
                if (blockLeft_ == 0) {
                    ended_ = true;
                    return false;
                }
            }
            if (reader_.AtEnd()) {
                ended_ = true;
                return false;
            }
            bits_ |= std::uint32_t(reader_.U8()) << bitCount_;
            bitCount_ += 8;
            --blockLeft_;
        }
        code = int(bits_ & ((1u << width) - 1));
        bits_ >>= width;
        bitCount_ -= width;
        return true;
    }

    // Leaves the reader just past the frame's terminator.
    void Finish() {
        if (ended_) return;
        ended_ = true;
        reader_.Skip(blockLeft_);
        blockLeft_ = 0;
        SkipSubBlocks(reader_);
    }

private:
    ByteReader& reader_;
    std::size_t blockLeft_ = 0;
    bool ended_ = false;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
};

// Places decoded indices in row order, or the interlaced pass order.
class PixelSink {
public:
    PixelSink(TGIFFrame& frame, const ByteReader& reader, Progress& progress) : frame_(frame), reader_(reader) {
        if (progress.Assigned() && (long long)frame.width * frame.height > kRowProgressPixels) {
            progress_ = &progress;
            rowsPerReport_ = frame.width <= 320 ? 64 : 32;
        }
    }

    bool Done() const { return done_; }
    bool Stopped() const { return stopped_; }

    void Put(std::uint8_t index) {
        if (done_) return;
        const std::size_t at = std::size_t(row_) * frame_.width + x_;
        frame_.image.pixels[at] = index;
        if (frame_.transparent && index != frame_.transparentIndex) frame_.mask.Set(x_, row_, false);
        if (++x_ < frame_.width) return;
        x_ = 0;
        ++rowsDone_;
        // Rows are numbered from 0 on the frame, whatever order they arrive in.
        if (progress_ && row_ % rowsPerReport_ == 0 && !progress_->Step(reader_)) {
            stopped_ = done_ = true;
            return;
        }
        NextRow();
    }

private:
    void NextRow() {
        if (rowsDone_ >= frame_.height) {
            done_ = true;
            return;
        }
        if (!frame_.interlaced) {
            ++row_;
            return;
        }
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        row_ += kStep[pass_];
        // Passes whose first row lies below the frame have nothing to fill.
        while (row_ >= frame_.height) {
            if (++pass_ >= 4) {
                done_ = true;
                return;
            }
            row_ = kStart[pass_];
        }
    }

    TGIFFrame& frame_;
    const ByteReader& reader_;
    Progress* progress_ = nullptr;
    int rowsPerReport_ = 0;
    int row_ = 0, x_ = 0, pass_ = 0, rowsDone_ = 0;
    bool done_ = false;
    bool stopped_ = false;
};

// The code table, made once per load.
struct LzwTables {
    std::vector<std::uint16_t> prefix = std::vector<std::uint16_t>(kTableSize);
    std::vector<std::uint8_t> suffix = std::vector<std::uint8_t>(kTableSize);
    std::vector<std::uint8_t> stack = std::vector<std::uint8_t>(kTableSize + 1);
};

// Decodes the frame's compressed data; false only on a stop request.
bool DecodePixels(ByteReader& reader, TGIFFrame& frame, int minCodeSize, Progress& progress, LzwTables& tables) {
    CodeReader codes(reader);
    // Sizes from 12 up put the clear code outside the 4096-entry table, so
    // such data is left undecoded rather than guessed at.
    if (minCodeSize > 11) {
        codes.Finish();
        return true;
    }
    PixelSink sink(frame, reader, progress);
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int nextFree = clear + 2;
    int width = minCodeSize + 1;
    int previous = -1;
    std::uint8_t previousFirst = 0;

    // Entries are written before they are read: a code above the next free one ends decoding.
    std::vector<std::uint16_t>& prefix = tables.prefix;
    std::vector<std::uint8_t>& suffix = tables.suffix;
    std::vector<std::uint8_t>& stack = tables.stack;

    int code = 0;
    while (!sink.Done() && codes.Next(width, code)) {
        if (code == clear) {
            nextFree = clear + 2;
            width = minCodeSize + 1;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (previous < 0) {
            if (code > end) break;  // nothing but literals is defined yet
            sink.Put(std::uint8_t(code));
            previous = code;
            previousFirst = std::uint8_t(code);
            continue;
        }
        if (code > nextFree) break;

        // Unwind the chain backwards onto the stack, then emit it forwards.
        std::size_t depth = 0;
        int walk = code;
        if (code == nextFree) {
            stack[depth++] = previousFirst;
            walk = previous;
        }
        bool broken = false;
        while (walk > end) {
            if (depth >= kTableSize - 1 || prefix[walk] == walk) {
                broken = true;
                break;
            }
            stack[depth++] = suffix[walk];
            walk = prefix[walk];
        }
        if (broken || walk == clear || walk == end) break;
        stack[depth++] = std::uint8_t(walk);
        const std::uint8_t first = std::uint8_t(walk);
        while (depth > 0 && !sink.Done()) sink.Put(stack[--depth]);

        if (nextFree < kTableSize) {
            prefix[nextFree] = std::uint16_t(previous);
            suffix[nextFree] = first;
            ++nextFree;
            if (nextFree >= (1 << width) && width < 12) ++width;
        }
        previous = code;
        previousFirst = first;
    }
    codes.Finish();
    return !sink.Stopped();
}

enum class FrameResult { Ok, ZeroSize, Error };

struct Budget {
    std::size_t total;
    std::size_t pixelsLeft;
    int width = 0, height = 0;  // the logical screen so far
};

FrameResult ReadFrame(ByteReader& reader, const GraphicControl& control, const GifPicture& picture,
                      Progress& progress, Budget& budget, LzwTables& tables, TGIFFrame& frame) {
    std::uint8_t descriptor[10] = {};
    if (!reader.Read(descriptor, sizeof descriptor)) return FrameResult::Error;
    auto u16 = [&](int at) { return int(descriptor[at] | (descriptor[at + 1] << 8)); };
    frame.left = u16(1);
    frame.top = u16(3);
    frame.width = u16(5);
    frame.height = u16(7);
    const std::uint8_t packed = descriptor[9];
    if (frame.width == 0 || frame.height == 0) return FrameResult::ZeroSize;
    if (frame.width > kMaxFrameSide || frame.height > kMaxFrameSide) return FrameResult::Error;

    // The frame's pixels and its place on the logical screen come out of one budget.
    const std::size_t pixels = std::size_t(frame.width) * std::size_t(frame.height);
    const int screenWidth = std::max(budget.width, frame.left + frame.width);
    const int screenHeight = std::max(budget.height, frame.top + frame.height);
    if (pixels > budget.pixelsLeft || std::size_t(screenWidth) * std::size_t(screenHeight) > budget.total)
        return FrameResult::Error;

    if (packed & 0x80) {
        frame.hasLocalTable = true;
        frame.colourBits = (packed & 7) + 1;
        if (!ReadColourTable(reader, frame.colourBits, frame.localTable)) return FrameResult::Error;
    }
    frame.interlaced = (packed & 0x40) != 0;

    const int method = (control.packed >> 2) & 7;
    frame.disposal = (method == 0 || method == 1 || method == 3) ? method : 2;
    frame.delay = int(control.delay) * 10;
    frame.transparent = (control.packed & 1) != 0;
    frame.transparentIndex = control.transparentIndex;

    try {
        if (frame.disposal == 3) {
            frame.savedBackground = Bitmap(frame.width, frame.height);
            frame.savedMask = MonoBitmap(frame.width, frame.height);
        }
        frame.image.width = frame.width;
        frame.image.height = frame.height;
        frame.image.pixels.assign(pixels, 0);
        // Every pixel starts undelivered, which shows as transparent.
        if (frame.transparent) frame.mask = MonoBitmap(frame.width, frame.height, true);
    } catch (const std::bad_alloc&) {
        return FrameResult::Error;
    }

    if (reader.AtEnd()) return FrameResult::Error;
    const int minCodeSize = reader.U8();
    if (!DecodePixels(reader, frame, minCodeSize, progress, tables)) return FrameResult::Error;

    // The palette: the local table's size, or the global table's entries up to
    // the largest table size met so far.
    const int bits = frame.hasLocalTable ? frame.colourBits : picture.colourBits;
    const std::array<Colour, 256>& table = frame.hasLocalTable ? frame.localTable : picture.globalTable;
    frame.image.palette.assign(table.begin(), table.begin() + (std::size_t(1) << bits));

    budget.pixelsLeft -= pixels;
    budget.width = screenWidth;
    budget.height = screenHeight;
    return FrameResult::Ok;
}

GifLoadResult Fail(GifError error, std::optional<TGIFVersion> version = {}) {
    GifLoadResult result;
    result.ok = false;
    result.error = error;
    result.version = version;
    return result;
}

}  // namespace

GifLoadResult LoadGif(std::span<const std::uint8_t> data, const GifLoadOptions& options) {
    if (data.empty()) return Fail(GifError::Empty);
    ByteReader reader(data);
    GifLoadResult result;
    GifPicture& picture = result.picture;
    Progress progress(options.progress);

    std::uint8_t header[6] = {};
    if (!reader.Read(header, sizeof header)) return Fail(GifError::Invalid);
    if (std::memcmp(header, "GIF", 3) != 0) return Fail(GifError::Invalid);
    result.version = header[4] == '9' ? gvGIF89a : gvGIF87a;

    std::uint8_t screen[7] = {};
    if (!reader.Read(screen, sizeof screen)) return Fail(GifError::Invalid, result.version);
    picture.screenWidth = screen[0] | (screen[1] << 8);
    picture.screenHeight = screen[2] | (screen[3] << 8);
    Budget budget{options.pixelBudget, options.pixelBudget, picture.screenWidth, picture.screenHeight};
    if (std::size_t(budget.width) * std::size_t(budget.height) > budget.total)
        return Fail(GifError::Invalid, result.version);
    if (screen[4] & 0x80) {
        picture.colourBits = (screen[4] & 7) + 1;
        // A cut-short table keeps what arrived; the block loop then ends.
        ReadColourTable(reader, picture.colourBits, picture.globalTable);
    }

    GraphicControl control;
    LzwTables tables;
    while (reader.Position() < reader.Size() && progress.KeepOn()) {
        if (!progress.Step(reader)) return Fail(GifError::Stopped, result.version);
        const std::size_t blockStart = reader.Position();
        std::uint8_t intro[2] = {};
        reader.Read(intro, 2);
        const std::uint8_t introducer = intro[0];
        const std::uint8_t label = intro[1];

        if (introducer == 0x21) {
            switch (label) {
            case 0x01: {  // plain text: drawn text is not supported, only skipped
                reader.Skip(reader.U8());
                SkipSubBlocks(reader);
                break;
            }
            case 0xF9: {
                std::uint8_t block[6] = {};
                reader.Read(block, sizeof block);
                control.packed = block[1];
                control.delay = std::uint16_t(block[2] | (block[3] << 8));
                control.transparentIndex = block[4];
                break;
            }
            case 0xFE:
                SkipSubBlocks(reader);
                break;
            case 0xFF: {
                const std::uint8_t idLength = reader.U8();
                std::uint8_t id[256] = {};
                reader.Read(id, idLength);
                std::uint8_t size = reader.U8();
                if (std::memcmp(id, "NETSCAPE", 8) == 0 && std::memcmp(id + 8, "2.0", 3) == 0) {
                    std::uint8_t sub[256] = {};
                    reader.Read(sub, size);
                    picture.loopCount = sub[1] | (sub[2] << 8);
                    size = reader.U8();
                }
                SkipSubBlocks(reader, size);
                break;
            }
            default:
                break;
            }
            continue;
        }

        if (introducer == 0x2C) {
            reader.Seek(blockStart);
            if (picture.frames.size() >= kMaxFrames) break;
            TGIFFrame frame;
            const FrameResult read = ReadFrame(reader, control, picture, progress, budget, tables, frame);
            if (read == FrameResult::ZeroSize) {
                reader.Seek(reader.Size());
                const bool keepOn = progress.Step(reader);
                return Fail(keepOn ? GifError::Invalid : GifError::Stopped, result.version);
            }
            if (read == FrameResult::Error) break;
            picture.colourBits = std::max(picture.colourBits, frame.colourBits);
            picture.anyTransparent = picture.anyTransparent || frame.transparent;
            picture.frames.push_back(std::move(frame));
            control = GraphicControl{};
            if (options.firstImageOnly) {
                reader.Seek(reader.Size());
                break;
            }
            continue;
        }

        if (introducer == 0x3B) break;
        // Anything else is noise; the next two bytes are tried as a block.
    }

    if (!progress.Step(reader)) return Fail(GifError::Stopped, result.version);

    picture.width = budget.width;
    picture.height = budget.height;
    result.ok = true;
    result.error = GifError::None;
    return result;
}

}  // namespace snapora
