// The program's size ladder against the plain one, and the JPEG analysis it
// rests on, on generated screenshots: some sit right at the upload limit at
// one rung, one byte of content below or above it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/JpegCoefficients.h"
#include "imaging/JpegSession.h"
#include "imaging/JpegWriter.h"
#include "upload/Compression.h"

namespace snapora {

namespace {

// A screenshot-like picture: a soft gradient with a title bar, then `glyphs`
// small dark marks in lines like text, placed by a fixed pseudo-random sequence.
Bitmap Screen(int width, int height, int glyphs, std::uint32_t seed = 7) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.Row(y);
        for (int x = 0; x < width; ++x) {
            const bool bar = y < 24;
            row[3 * x] = std::uint8_t(bar ? 120 : 230 - x * 40 / width);
            row[3 * x + 1] = std::uint8_t(bar ? 70 : 235 - y * 30 / height);
            row[3 * x + 2] = std::uint8_t(bar ? 40 : 240);
        }
    }
    std::uint32_t state = seed;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    const int perLine = std::max(1, (width - 4) / 9), top = height > 60 ? 30 : 2;
    for (int g = 0; g < glyphs; ++g) {
        const int x0 = 2 + (g % perLine) * 9, y0 = top + (g / perLine) * 16;
        if (y0 + 12 > height || x0 + 7 > width) break;
        const std::uint32_t shape = next();
        for (int dy = 0; dy < 12; ++dy)
            for (int dx = 0; dx < 7; ++dx)
                if (shape >> ((dy * 7 + dx) % 31) & 1) {
                    std::uint8_t* p = picture.Row(y0 + dy) + 3 * (x0 + dx);
                    p[0] = p[1] = p[2] = std::uint8_t(next() >> 27);
                }
    }
    return picture;
}

// Bytes of a JPEG's coded data that are stuffing (a zero after each 0xFF).
std::uint64_t StuffedBytes(const std::string& jpeg, std::uint64_t headerBytes) {
    std::uint64_t stuffed = 0;
    for (std::size_t i = headerBytes - 2; i + 1 < jpeg.size() - 2; ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && jpeg[i + 1] == 0) ++stuffed;
    return stuffed;
}

struct Ladder {
    CompressionOutcome outcome;
    std::vector<std::string> texts;
};

Ladder Plain(const Bitmap& picture) {
    Ladder l;
    l.outcome = WalkLadder(picture, EncodeJpeg, [&](const std::string& t) { l.texts.push_back(t); });
    return l;
}

Ladder ProgramLadder(const Bitmap& picture, int firstGuess = 0) {
    Ladder l;
    l.outcome = CompressForUpload(picture, [&](const std::string& t) { l.texts.push_back(t); }, firstGuess);
    return l;
}

void ExpectSameLadder(const Ladder& program, const Ladder& plain) {
    EXPECT_EQ(program.outcome.quality, plain.outcome.quality);
    EXPECT_EQ(program.outcome.passes, plain.outcome.passes);
    EXPECT_EQ(program.texts, plain.texts);
    EXPECT_TRUE(program.outcome.jpeg == plain.outcome.jpeg) << "the files differ";
}

}  // namespace

// The count is libjpeg's file to the byte (markers, coded bits rounded up,
// stuffing); every higher quality is at least as large as a count's floor.
TEST(JpegCoefficients, CountsTheFileAndBoundsHigherQualities) {
    struct Case {
        int width, height, glyphs;
    } cases[] = {{37, 23, 40}, {333, 250, 900}, {1024, 701, 6000}};
    for (const Case& c : cases) {
        const Bitmap picture = Screen(c.width, c.height, c.glyphs);
        const auto analysed = JpegCoefficients::Analyse(picture, 100, 2);
        ASSERT_TRUE(analysed);
        for (int quality : {100, 90, 60, 28, 5, 1}) {
            SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " q" << quality);
            const JpegCount count = analysed->Count(quality, 2);
            const std::string jpeg = EncodeJpeg(picture, quality);
            EXPECT_EQ(analysed->BytesFor(count.bits) + StuffedBytes(jpeg, analysed->HeaderBytes()), jpeg.size());
            EXPECT_EQ(count.bits, analysed->Count(quality, 1).bits);
            EXPECT_EQ(analysed->SizeFloor(count, quality), analysed->BytesFor(count.bits));
            for (int higher : {quality + 1, quality + 4, quality + 20, 100}) {
                if (higher > 100) continue;
                const std::size_t size = EncodeJpeg(picture, higher).size();
                EXPECT_LE(analysed->SizeFloor(count, higher), size) << "q" << higher;
                EXPECT_LE(analysed->SizeFloor(count, higher, 0), analysed->SizeFloor(count, higher)) << "q" << higher;
            }
        }
    }
}

// A file made from the analysis is EncodeJpeg's, byte for byte, whatever the
// picture's edges (blocks libjpeg adds at the right and bottom), however many
// bands the analysis took and in how many pieces the blocks were coded; by
// the program's coder and by libjpeg's.
TEST(JpegCoefficients, EncodesLibjpegsOwnFile) {
    for (auto [width, height] : {std::pair{1, 1}, {7, 9}, {17, 33}, {333, 250}, {801, 333}, {1921, 1081}, {1000, 2047}}) {
        const Bitmap picture = Screen(width, height, width * height / 200);
        for (int threads : {1, 2}) {
            const auto analysed = JpegCoefficients::Analyse(picture, 90, threads);
            ASSERT_TRUE(analysed);
            for (int quality : {90, 61, 28, 4, 1}) {
                SCOPED_TRACE(::testing::Message() << width << "x" << height << " q" << quality << ", " << threads
                                                << " threads");
                const std::string expected = EncodeJpeg(picture, quality);
                EXPECT_TRUE(analysed->Encode(quality, threads) == expected);
                EXPECT_TRUE(analysed->Encode(quality, 3 - threads) == expected);
                EXPECT_TRUE(analysed->EncodeByLibjpeg(quality) == expected);
            }
            EXPECT_FALSE(analysed->Covers(91));
        }
    }
}

// A recorded file is EncodeJpegWatched's, and the analysis made from it and
// the rows above its recording is the whole analysis: the same counts and
// files, wherever the recording starts (at the top, in the middle, at the
// last band of rows, never) and however many bands the rows above take.
TEST(JpegRecorder, GivesTheFileAndTheWholeAnalysis) {
    for (auto [width, height] : {std::pair{17, 33}, {801, 333}, {1000, 1001}})
        for (int from : {0, 16, 160, (height - 1) / 16 * 16, -1}) {
            if (from >= height) continue;
            const Bitmap picture = Screen(width, height, width * height / 200);
            const std::string expected = EncodeJpeg(picture, 60);
            for (int threads : {1, 2}) {
                SCOPED_TRACE(::testing::Message() << width << "x" << height << " from row " << from << ", " << threads
                                                << " threads");
                JpegRecorder recorder(picture, 60);
                const std::optional<std::string> file = recorder.Encode([&](int rows, std::size_t) {
                    if (rows == from) {
                        EXPECT_TRUE(recorder.Record());
                    }
                    return true;
                });
                EXPECT_TRUE(file && *file == expected);
                EXPECT_FALSE(recorder.Record());  // only while the file is made
                const auto recorded = recorder.Analyse(threads);
                const auto whole = JpegCoefficients::Analyse(picture, 60, threads);
                ASSERT_TRUE(recorded && whole);
                EXPECT_EQ(recorded->HeaderBytes(), whole->HeaderBytes());
                for (int quality : {60, 31, 4}) {
                    const JpegCount count = recorded->Count(quality, threads), wanted = whole->Count(quality, threads);
                    EXPECT_EQ(count.bits, wanted.bits) << "q" << quality;
                    EXPECT_EQ(count.acFloorBits, wanted.acFloorBits) << "q" << quality;
                    EXPECT_EQ(recorded->SizeFloor(count, 90), whole->SizeFloor(wanted, 90)) << "q" << quality;
                    EXPECT_TRUE(recorded->Encode(quality, threads) == whole->Encode(quality, threads)) << "q" << quality;
                }
            }
        }
}

// The quantisation the counts use is libjpeg's own for every value a DCT can
// give, at every quality; and a coefficient that a table quantises to zero
// stays zero at every coarser table, which lets the analysis keep only the DC
// of blocks without AC terms at its finest quality.
TEST(JpegCoefficients, QuantisesAsLibjpegDoes) {
    for (int table = 0; table < 2; ++table)
        for (int k : {0, 1, 8, 35, 63}) {
            SCOPED_TRACE(::testing::Message() << "table " << table << ", entry " << k);
            std::vector<int> zeroBefore(2 * 8192 + 1, 0);
            for (int quality = 100; quality >= 1; --quality) {
                int mismatches = 0, revived = 0;
                for (int value = -8192; value <= 8192; ++value) {
                    const int q = QuantizeCoefficient(value, quality, table, k);
                    mismatches += q != LibjpegQuantize(value, quality, table, k);
                    int& zero = zeroBefore[std::size_t(value + 8192)];
                    revived += zero && q != 0;
                    zero = zero || q == 0;
                }
                EXPECT_EQ(mismatches, 0) << "q" << quality;
                EXPECT_EQ(revived, 0) << "q" << quality;
            }
        }
}

// Near the limit at a rung: the content amount whose file there just fits,
// and one glyph more, which just doesn't. Each ladder, whatever it guesses
// first, walks the plain ladder's rungs to its file.
TEST(CompressionLadder, SameOutcomeAsThePlainLadderAtTheLimit) {
    struct Case {
        int width, height, quality;  // the rung at which the file crosses the limit
    } cases[] = {{1920, 1080, 60}, {1920, 1080, 32}, {1600, 1200, 10}, {900, 1400, 88}, {1700, 900, 90}};
    for (const Case& c : cases) {
        // The most glyphs whose file at the rung is still within the limit.
        int low = 0, high = 40000;
        while (low + 1 < high) {
            const int middle = (low + high) / 2;
            if (EncodeJpeg(Screen(c.width, c.height, middle), c.quality).size() <= MaxUploadBytes)
                low = middle;
            else
                high = middle;
        }
        for (int glyphs : {low, high}) {
            SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " q" << c.quality << ", " << glyphs
                                            << " glyphs");
            const Bitmap picture = Screen(c.width, c.height, glyphs);
            const Ladder plain = Plain(picture);
            EXPECT_EQ(plain.outcome.quality, glyphs == low ? c.quality : c.quality - 4);
            const int start = StartingQuality(c.width);
            for (int guess : {0, start, c.quality + 4, c.quality, c.quality - 4, 2}) {
                SCOPED_TRACE(::testing::Message() << "first guess " << guess);
                ExpectSameLadder(ProgramLadder(picture, guess), plain);
            }
        }
    }
}

// Pictures that never get small enough take the last rung's file, from 60 and from 70.
TEST(CompressionLadder, NoiseEndsAtTheLastRung) {
    for (auto [width, height] : {std::pair{2600, 2000}, {1600, 3400}}) {
        Bitmap noise(width, height);
        std::uint32_t state = 1;
        for (int y = 0; y < noise.Height(); ++y)
            for (int x = 0; x < 3 * width; ++x) noise.Row(y)[x] = std::uint8_t((state = state * 69069u + 1u) >> 24);
        const Ladder plain = Plain(noise);
        EXPECT_EQ(plain.outcome.quality, width == 2600 ? 4 : 2);
        ExpectSameLadder(ProgramLadder(noise), plain);
        ExpectSameLadder(ProgramLadder(noise, 60), plain);
    }
}

// A file can be given up while it is made, also once it has outgrown the
// first buffer; otherwise it is EncodeJpeg's.
TEST(JpegWriter, GivesUpWhenAsked) {
    Bitmap noise(1200, 900);
    std::uint32_t state = 3;
    for (int y = 0; y < noise.Height(); ++y)
        for (int x = 0; x < 3 * noise.Width(); ++x) noise.Row(y)[x] = std::uint8_t((state = state * 69069u + 1u) >> 24);
    const std::string whole = EncodeJpeg(noise, 90);
    ASSERT_GT(whole.size(), 1u << 19);  // grew twice
    EXPECT_EQ(EncodeJpegUnless(noise, 90, std::atomic<bool>{false}), whole);
    EXPECT_EQ(EncodeJpegUnless(noise, 90, std::atomic<bool>{true}), std::nullopt);
    // Watched: asked every 16 rows with the rows coded and their bytes so far, which only grow.
    std::vector<std::pair<int, std::size_t>> asked;
    EXPECT_EQ(EncodeJpegWatched(noise, 90, [&](int rows, std::size_t bytes) {
                  asked.emplace_back(rows, bytes);
                  return true;
              }),
              whole);
    ASSERT_EQ(asked.size(), std::size_t((noise.Height() + 15) / 16));
    for (std::size_t i = 1; i < asked.size(); ++i) {
        EXPECT_EQ(asked[i].first, int(i) * 16);
        EXPECT_GT(asked[i].second, asked[i - 1].second);
    }
    EXPECT_LT(asked.back().second, whole.size());
    EXPECT_EQ(EncodeJpegWatched(noise, 90, [](int rows, std::size_t) { return rows < 320; }), std::nullopt);
    // What the watch throws comes back, and libjpeg's memory does not stay behind (LeakSanitizer sees it).
    EXPECT_THROW(EncodeJpegWatched(noise, 90,
                                   [](int rows, std::size_t) {
                                       if (rows >= 320) throw std::runtime_error("watch");
                                       return true;
                                   }),
                 std::runtime_error);
    const std::string half = jpeg::CompressToMemory(noise.Width(), noise.Height(), 90, nullptr, [&](int y) {
        return y < 700 ? const_cast<JSAMPROW>(noise.Row(y)) : nullptr;
    });
    EXPECT_EQ(half, "");
}

}  // namespace snapora
