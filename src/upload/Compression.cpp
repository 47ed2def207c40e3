#include "upload/Compression.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/Beside.h"
#include "base/Processors.h"
#include "imaging/Bitmap.h"
#include "imaging/JpegCoefficients.h"
#include "imaging/JpegWriter.h"
#include "upload/SizeProjection.h"

namespace snapora {

int StartingQuality(int width) {
    // Later tests override earlier ones. At exactly 1700 none matches and the
    // encoder's customary default of 90 stays.
    int quality = 90;
    if (width > 1700) quality = 60;
    if (width < 1700) quality = 70;
    if (width < 1500) quality = 80;
    if (width < 1000) quality = 88;
    if (width < 500) quality = 100;
    return quality;
}

std::string LoweredQualityStatus(int quality) {
    return "Screenshot wird komprimiert... (Qualität herabgesetzt auf: " + std::to_string(quality) + "%)";
}

CompressionOutcome WalkLadder(const Bitmap& picture, const JpegEncoderFn& encode,
                              const CompressionStatusFn& status) {
    CompressionOutcome outcome;
    outcome.quality = StartingQuality(picture.Width());
    for (;;) {
        // The size of the bytes in memory is the size the file will have.
        outcome.jpeg = encode(picture, outcome.quality);
        ++outcome.passes;
        if (outcome.jpeg.size() <= MaxUploadBytes || outcome.quality <= 4) return outcome;
        outcome.quality -= 4;
        status(LoweredQualityStatus(outcome.quality));
    }
}

namespace {

// The guess looks at every fourth block of 16x16 pixels in every fourth row
// of them: a sixteenth of the picture, spread over all of it; exact counts on
// the way correct it. (A sparser look, at a 256th, misjudges desktops: on
// one 4K desktop it put the first rung well within the limit, nine rungs off.)
constexpr int SampleStep = 4;
constexpr double NearLimit = 0.9;  // of the limit: a guess this close may be a rung off
// When the first rung's file, judged by its rows so far, is heading past the
// limit (SizeProjection), the sample guesses beside it or, on one processor,
// pauses it. The projection by the rows' share of the picture's detail decides
// alone when it is well past the limit; in the middle of a picture it may
// overshoot (a 1440p desktop that fits at 0.93 of the limit was projected at
// 1.10 a third of the way down), so below that the projection by their share
// of the height must agree. A light-topped picture is so known early (a 1440p
// article page after 176 of its rows, where the height alone said so after
// 416 at 0.75 and after 800 at 1.0), and pictures whose dense top rows made
// the height alone say so (a terminal: 0.75 after 208 rows, 0.56 in the end)
// no longer pay for the guess.
constexpr double ClearlyPast = 1.3;
// What the height must say besides: beside the file, where the guess costs
// less, from 0.75 (at 1.0 a 4K desktop's guess came 48 rows later, and cost
// 4 %); where it pauses the file, 1.0.
constexpr double AgreeBeside = 0.75, AgreePausing = 1.0;
// Below this share of the limit by height the detail is not asked: no
// screenshot of the corpus was lopsided enough there to put its file past the
// limit early (the article page said 0.53 by height after 90 rows, when its
// detail already said well past). On one processor it is mapped only then, as
// the map costs a 1080p picture about 50 microseconds, 1-2 % of its one
// encode; with two it is mapped beside the file from the start.
constexpr double MapFrom = 0.5;

struct Rung {
    int quality = 0;
    std::optional<std::string> jpeg;  // encoded
    std::optional<JpegCount> count;   // counted
    std::uint64_t floor = 0;          // the file is certainly not smaller
};

// The plain ladder's walk over rungs that are settled as cheaply as can be.
// The picture's colour conversion and DCT are done once (JpegCoefficients);
// a rung is passed when its count, or the floor a count below it sets, shows
// its file too large, and a file is made only for a rung nothing showed too
// large. The first rung whose file fits (or the last) ends the walk, as in
// the plain ladder; every file made is libjpeg's, byte for byte.
class RungWalk {
public:
    RungWalk(const Bitmap& picture, const CompressionStatusFn& status, int firstGuess)
        : picture_(picture), status_(status), threads_(std::min(UsableProcessors(), 2)), projection_(picture) {
        for (int q = StartingQuality(picture.Width());; q -= 4) {
            rungs_.push_back(Rung{q, {}, {}, 0});
            if (q <= 4) break;
        }
        last_ = rungs_.size() - 1;
        if (firstGuess) guess_ = GuessedFrom(firstGuess), guessed_ = true;
    }

    CompressionOutcome Walk() {
        FirstRungs();
        for (;;) {
            Rung& r = rungs_[walked_];
            if (r.jpeg) {
                if (r.jpeg->size() <= MaxUploadBytes || walked_ == last_) return Outcome();
                Pass();
            } else if (r.floor > MaxUploadBytes && walked_ != last_) {
                Pass();
            } else if (!coefficients_ && walked_ <= 1 && guess_ <= 1 && !recorded_) {
                // One or two encodes are all the guess expects: the analysis
                // would cost more than it could save.
                Encode(walked_);
            } else if (!coefficients_ && !analysisFailed_) {
                coefficients_ = recorder_ ? recorder_->Analyse(threads_)
                                          : JpegCoefficients::Analyse(picture_, rungs_[0].quality, threads_);
                recorder_.reset();
                analysisFailed_ = !coefficients_;
            } else if (const std::size_t next = NextToCount(); coefficients_ && next != SIZE_MAX) {
                CountRung(next);
            } else {
                Encode(walked_);
                if (!consistent_) return Plainly();
            }
        }
    }

private:
    // Most screenshots fit at the first rung or the second, where the plain
    // ladder's encodes are as quick as anything. With a second processor the
    // first rung's file is made at once, and its bytes so far tell where it
    // is heading: only once that is past the limit does the sample guess
    // beside it (the file is given up when the guess is deeper; where the
    // guess is the second rung, that file is made there and given up as soon
    // as the first fits). So a picture that fits at once costs one encode, as
    // in the plain ladder; on one processor too (FirstRungOnOneProcessor).
    void FirstRungs() {
        if (guessed_ && guess_ >= 2) return;
        if (last_ == 0 || (guessed_ && threads_ < 2)) return Encode(0);
        if (threads_ < 2) return FirstRungOnOneProcessor();
        // The detail map on the other processor, ready long before the file's first check.
        mapping_ = Beside([this] { projection_.MapDetail(); });
        std::atomic<bool> giveUpFirst{false}, giveUpSecond{false};
        std::optional<std::string> first, second;
        Beside guess;  // declared after what it uses: waited for before those go
        auto startGuess = [&] {
            guess = Beside([&] {
                if (!guessed_) guess_ = GuessedFromSample();
                // Close to the limit the sample may be wrong either way.
                const bool near = guess_ == 0 && sampled_ && Estimate(0) > NearLimit * double(MaxUploadBytes);
                if (guess_ >= 2)
                    giveUpFirst = true;
                else if (guess_ == 1 || near)
                    second = EncodeJpegUnless(picture_, rungs_[1].quality, giveUpSecond);
            });
        };
        if (guessed_ && guess_ == 1) startGuess();
        const int height = picture_.Height();
        try {
            // The first file on this thread: its memory is warm here.
            first = EncodeJpegWatched(picture_, rungs_[0].quality, [&](int rows, std::size_t bytes) {
                if (giveUpFirst.load(std::memory_order_relaxed)) return false;
                if (!guessed_ && !guess.Running() && rows >= std::max(64, height / 16) &&
                    HeadsPastLimit(rows, bytes, AgreeBeside))
                    startGuess();
                return true;
            });
        } catch (...) {
            giveUpSecond = true;  // then the guess ends soon
            throw;
        }
        if (first && first->size() <= MaxUploadBytes) giveUpSecond = true;
        guess.Wait();  // and what it threw, if anything
        const bool fits = first && first->size() <= MaxUploadBytes;
        if (!fits && !guessed_ && !sampled_) guess_ = GuessedFromSample();
        for (std::size_t i : {0, 1}) {
            std::optional<std::string>& file = i == 0 ? first : second;
            if (!file) continue;
            rungs_[i].jpeg = std::move(file);
            // A file that fits ends the walk; one that does not tells the
            // guess how far the sample's sizes are off.
            if (rungs_[i].jpeg->size() > MaxUploadBytes) Learn(i, double(rungs_[i].jpeg->size()));
        }
    }

    // On one processor nothing runs beside the first rung's file: it is made
    // at once, and only when its bytes so far head past the limit is it paused
    // for the sample's guess, which gives it up when the guess is deeper. The
    // bytes are asked early (from a thirty-second of the rows on), as a file
    // given up later costs the pictures that need many rungs more. A file
    // that goes on from there keeps its DCT output (JpegRecorder): should it
    // not fit, the rungs below are counted and made from it, at little more
    // than the analysis of the rows above (a 4K page that fits at the second
    // rung, its guess close above the limit, took the file, the whole
    // analysis, a count and a file: 1.16 times the plain ladder's two files).
    void FirstRungOnOneProcessor() {
        const int height = picture_.Height();
        bool asked = false;
        recorder_.emplace(picture_, rungs_[0].quality);
        std::optional<std::string> first = recorder_->Encode([&](int rows, std::size_t bytes) {
            if (asked || rows < std::max(32, height / 32) || !HeadsPastLimit(rows, bytes, AgreePausing)) return true;
            asked = true;
            guess_ = GuessedFromSample();
            if (guess_ <= 1) recorded_ = recorder_->Record();
            return guess_ <= 1;
        });
        if (!recorded_) recorder_.reset();
        if (!first) return;  // the guess is deeper: the walk goes on from there
        rungs_[0].jpeg = std::move(first);
        if (rungs_[0].jpeg->size() <= MaxUploadBytes) return;
        // Never asked: it ended close above the limit, so the next rung is the
        // likely one, and the plain ladder's next file is made without a guess.
        if (!asked) {
            guess_ = 1;
            return;
        }
        Learn(0, double(rungs_[0].jpeg->size()));
    }

    // Whether the first rung's file, whose first `rows` rows took `bytes`, is
    // heading past the limit; `agree`: from which share of it the height's
    // judgement backs the detail's.
    bool HeadsPastLimit(int rows, std::size_t bytes, double agree) {
        const double limit = double(MaxUploadBytes);
        const double byHeight = double(bytes) * picture_.Height() / rows;
        if (byHeight <= MapFrom * limit) return false;
        mapping_.Wait();
        const double projected = projection_.Projected(rows, bytes);
        return projected > ClearlyPast * limit || (projected > limit && byHeight > agree * limit);
    }

    // The rung to count before making a file for the open rung `walked_`,
    // or none (the file is made). Above the guess, the rung just above it
    // first: its floor usually settles every rung above it at once. Then the
    // open rung itself, unless it is the guess, whose file is expected to fit.
    std::size_t NextToCount() const {
        const std::size_t i = walked_;
        if (rungs_[i].count) return SIZE_MAX;  // counted within the limit
        if (i + 1 < guess_ && !rungs_[guess_ - 1].count) return guess_ - 1;
        return i == guess_ ? SIZE_MAX : i;
    }

    std::size_t GuessedFrom(int quality) const {
        std::size_t i = 0;
        while (i < last_ && rungs_[i].quality > quality) ++i;
        return i;
    }

    // The sample's count of a rung, scaled to the picture: a file's size as
    // the sample sees it (its blocks' neighbours differ, so it overrates a
    // little), times what the last exact count showed of that.
    double Estimate(std::size_t i) {
        if (!estimates_[i]) {
            const double bits = double(sampled_->Count(rungs_[i].quality, 1, false).bits) * sampleScale_;
            estimates_[i] = double(sampled_->HeaderBytes()) + bits / 8;
        }
        return estimates_[i] * correction_;
    }

    std::size_t GuessedFromSample() {
        sampled_ = JpegCoefficients::AnalyseSample(picture_, rungs_[0].quality, SampleStep);
        if (!sampled_) return 0;
        sampleScale_ = 1 / sampled_->SampledShare();
        estimates_.assign(rungs_.size(), 0);
        return GuessedFromEstimates();
    }

    // The first rung whose estimate is within the limit; sizes fall down the
    // ladder, so a bisection finds it.
    std::size_t GuessedFromEstimates() {
        std::size_t low = 0, high = last_;
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (Estimate(middle) > double(MaxUploadBytes))
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    }

    // The rung's exact count; every open rung above it, where its floor says
    // more (their DC bits worked out together, on every thread).
    void CountRung(std::size_t i) {
        std::vector<int> qualities;  // of the open rungs above, which the count's floor may settle
        std::vector<std::size_t> open;
        for (std::size_t above = walked_; above < i; ++above) {
            const Rung& a = rungs_[above];
            if (a.jpeg || a.floor > MaxUploadBytes) continue;
            qualities.push_back(a.quality);
            open.push_back(above);
        }
        Rung& r = rungs_[i];
        r.count = coefficients_->Count(r.quality, threads_, !open.empty());
        r.floor = std::max(r.floor, coefficients_->BytesFor(r.count->bits));
        Learn(i, double(r.floor));
        if (open.empty()) return;
        const std::vector<std::uint64_t> floors =
            coefficients_->SizeFloors(*r.count, qualities, MaxUploadBytes, threads_);
        for (std::size_t k = 0; k < open.size(); ++k) {
            std::uint64_t& floor = rungs_[open[k]].floor;
            floor = std::max(floor, floors[k]);
        }
    }

    // The sample's estimates corrected by a rung's known size, and the guess with them.
    void Learn(std::size_t i, double size) {
        if (!sampled_) return;
        correction_ = 1;
        correction_ = size / Estimate(i);
        guess_ = GuessedFromEstimates();
    }

    void Encode(std::size_t i) {
        Rung& r = rungs_[i];
        r.jpeg = coefficients_ ? coefficients_->Encode(r.quality, threads_) : EncodeJpeg(picture_, r.quality);
        // A file smaller than its floor would mean the counts are wrong: then
        // the plain ladder decides.
        if (r.jpeg->size() < r.floor) consistent_ = false;
        Learn(i, double(r.jpeg->size()));
    }

    void Pass() {
        ++walked_;
        ++shown_;
        status_(LoweredQualityStatus(rungs_[walked_].quality));
    }

    CompressionOutcome Outcome() {
        CompressionOutcome outcome;
        outcome.jpeg = std::move(*rungs_[walked_].jpeg);
        outcome.quality = rungs_[walked_].quality;
        outcome.passes = int(walked_) + 1;
        return outcome;
    }

    CompressionOutcome Plainly() {
        std::size_t texts = 0;
        return WalkLadder(picture_, EncodeJpeg, [&](const std::string& text) {
            if (++texts > shown_) status_(text);
        });
    }

    const Bitmap& picture_;
    const CompressionStatusFn& status_;
    const int threads_;
    SizeProjection projection_;
    Beside mapping_;  // of projection_, when made beside the first file
    std::vector<Rung> rungs_;
    std::size_t last_ = 0, guess_ = 0, walked_ = 0, shown_ = 0;
    std::unique_ptr<JpegCoefficients> coefficients_;
    std::optional<JpegRecorder> recorder_;  // of the first rung's file, until the analysis
    bool recorded_ = false;                 // the recorder kept rows
    std::unique_ptr<JpegCoefficients> sampled_;
    double sampleScale_ = 1, correction_ = 1;
    std::vector<double> estimates_;
    bool guessed_ = false;  // the caller's first guess stands
    bool analysisFailed_ = false;
    bool consistent_ = true;
};

}  // namespace

CompressionOutcome CompressForUpload(const Bitmap& picture, const CompressionStatusFn& status, int firstGuess) {
    if (picture.IsEmpty()) return WalkLadder(picture, EncodeJpeg, status);  // fails as the ladder does
    return RungWalk(picture, status, firstGuess).Walk();
}

}  // namespace snapora
