#include "imaging/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace snapora {

// Every filter works in float: each operation below rounds to 32 bits.

float BoxFilter(float x) { return x > -0.5f && x <= 0.5f ? 1.0f : 0.0f; }

float TriangleFilter(float x) {
    const float a = std::fabs(x);
    return a < 1.0f ? 1.0f - a : 0.0f;
}

float HermiteFilter(float x) {
    const float a = std::fabs(x);
    return a < 1.0f ? (2.0f * a - 3.0f) * (a * a) + 1.0f : 0.0f;
}

float BellFilter(float x) {
    const float a = std::fabs(x);
    if (a < 0.5f) return 0.75f - a * a;
    if (a < 1.5f) {
        const float t = a - 1.5f;
        return 0.5f * (t * t);
    }
    return 0.0f;
}

float BSplineFilter(float x) {
    const float a = std::fabs(x);
    if (a < 1.0f) {
        const float a2 = a * a;
        return 0.5f * (a2 * a) - a2 + 2.0f / 3.0f;
    }
    if (a < 2.0f) {
        const float t = 2.0f - a;
        return (t * t * t) / 6.0f;
    }
    return 0.0f;
}

// t = pi x is rounded to float; sin(t) / t is taken in double and rounded once,
// so the value does not depend on the C library's float sine.
float Sinc(float x) {
    if (x == 0.0f) return 1.0f;
    const float t = static_cast<float>(std::numbers::pi * static_cast<double>(x));
    return static_cast<float>(std::sin(static_cast<double>(t)) / static_cast<double>(t));
}

float Lanczos3Filter(float x) {
    const float a = std::fabs(x);
    return a < 3.0f ? Sinc(a) * Sinc(a / 3.0f) : 0.0f;
}

float MitchellFilter(float x) {
    const float a = std::fabs(x);
    const float a2 = a * a;
    const float a3 = a2 * a;
    if (a < 1.0f) return (7.0f * a3 - 12.0f * a2 + 16.0f / 3.0f) / 6.0f;
    if (a < 2.0f) return (-(7.0f / 3.0f) * a3 + 12.0f * a2 - 20.0f * a + 32.0f / 3.0f) / 6.0f;
    return 0.0f;
}

namespace {

struct Contributor {
    int index;  // source column (first pass) or intermediate row (second pass)
    float weight;
};

// One list of contributors per destination column or row, kept end to end:
// list i is entries[first[i]] up to entries[first[i + 1]].
struct ContributorLists {
    std::vector<Contributor> entries;
    std::vector<std::size_t> first;

    const Contributor* begin(int i) const { return entries.data() + first[std::size_t(i)]; }
    const Contributor* end(int i) const { return entries.data() + first[std::size_t(i) + 1]; }
};

// Mirrors j at the edges (-1 -> 1, length -> length - 1); what a wide window
// still leaves outside goes to the nearest edge pixel.
int Reflect(long long j, int length) {
    long long n = j;
    if (n < 0)
        n = -n;
    else if (n >= length)
        n = 2LL * length - 1 - n;
    if (n < 0) return 0;
    if (n >= length) return length - 1;
    return int(n);
}

// Limits v to [low, high]; NaN becomes low.
double Limit(double v, double low, double high) { return v >= low ? (v <= high ? v : high) : low; }

// The radius beyond which a table filter is 0; infinite for other filters.
double TableRadius(FilterFunction filter) {
    for (const ResampleFilter& entry : FilterTable)
        if (entry.Function == filter) return entry.Radius;
    return std::numeric_limits<double>::infinity();
}

ContributorLists BuildContributors(int sourceLength, int destinationLength, FilterFunction filter, float radius) {
    // A single destination pixel from a longer source sits on the source's
    // middle and spreads the filter over the whole source.
    const bool single = destinationLength == 1 && sourceLength > 1;
    float scale;
    if (single)
        scale = 1.0f / float(sourceLength);
    else if (sourceLength == 1)
        scale = float(destinationLength);
    else
        scale = float(destinationLength - 1) / float(sourceLength - 1);
    const bool shrinking = scale < 1.0f;
    const float filterScale = single ? float(sourceLength) : 1.0f / scale;
    const float reach = single ? radius * float(sourceLength) : shrinking ? radius / scale : radius;

    // A table filter is 0 beyond its radius, so a wider window only adds zero
    // weights: it is narrowed to what can count, with a margin for rounding.
    // The editor's Box with the thumbnail's width as radius costs no more
    // than 0.5. Any other filter's window is cut four source widths past the
    // edges (no table filter reaches beyond 3 filter units, and a filter unit
    // is at most one source width).
    const double needed = TableRadius(filter) * (shrinking ? double(filterScale) : 1.0) * (1 + 1e-6) + 2;
    const bool narrowed = !(double(reach) <= needed);  // a NaN radius too
    const double lowest = -4.0 * sourceLength;
    const double highest = 5.0 * sourceLength - 1;

    ContributorLists lists;
    lists.first.reserve(std::size_t(destinationLength) + 1);
    lists.first.push_back(0);
    for (int i = 0; i < destinationLength; ++i) {
        const float centre = single ? float(sourceLength - 1) / 2.0f : float(i) / scale;
        const double from = narrowed ? std::floor(centre - needed) : std::floor(double(centre - reach));
        const double to = narrowed ? std::ceil(centre + needed) : std::ceil(double(centre + reach));
        const auto low = static_cast<long long>(Limit(from, lowest, highest));
        const auto high = static_cast<long long>(Limit(to, lowest, highest));
        for (long long j = low; j <= high; ++j) {
            const float weight =
                shrinking ? filter((centre - float(j)) / filterScale) / filterScale : filter(centre - float(j));
            if (weight == 0.0f) continue;
            lists.entries.push_back({Reflect(j, sourceLength), weight});
        }
        lists.first.push_back(lists.entries.size());
    }
    return lists;
}

// Clamps a channel sum to 0..255 and rounds it to the nearest integer, halves
// to even: adding and taking away 2^23 leaves a float of this size rounded in
// the default rounding mode.
inline std::uint8_t ToChannel(float sum) {
    if (sum > 255.0f) return 255;
    if (!(sum >= 0.0f)) return 0;  // negative, or NaN from an odd filter
    const float rounded = (sum + 8388608.0f) - 8388608.0f;
    return static_cast<std::uint8_t>(rounded);
}

}  // namespace

void ResampleBitmap(const Bitmap& source, Bitmap& destination, FilterFunction filter, float radius) {
    const int sw = source.Width();
    const int sh = source.Height();
    if (sw < 1 || sh < 1) throw std::runtime_error("Source bitmap too small");
    const int dw = destination.Width();
    const int dh = destination.Height();
    if (dw < 1 || dh < 1) return;

    // The intermediate picture: dw pixels by sh rows, without row padding.
    const std::size_t workStride = std::size_t(dw) * 3;
    std::vector<std::uint8_t> work(workStride * std::size_t(sh));

    // First pass: each source row into a row of the intermediate, four rows
    // at a time. The rows are widened to floats once, with one spare float at
    // the end, so a contributor costs one four-lane multiply-add per row (the
    // fourth lane, the next pixel's first channel, is not used), and the four
    // rows' sums are independent chains the processor can overlap. Every
    // channel's sum still starts at 0 and adds its contributors in list order.
    {
        const ContributorLists columns = BuildContributors(sw, dw, filter, radius);
        const std::size_t lineLength = std::size_t(sw) * 3 + 1;
        std::vector<float> lines(lineLength * 4);
        for (int k = 0; k < sh; k += 4) {
            const int count = std::min(4, sh - k);
            for (int r = 0; r < 4; ++r) {  // a missing row repeats the last one
                const std::uint8_t* in = source.Row(k + std::min(r, count - 1));
                float* line = lines.data() + std::size_t(r) * lineLength;
                for (std::size_t x = 0; x < lineLength - 1; ++x) line[x] = float(in[x]);
            }
            for (int i = 0; i < dw; ++i) {
                float sums[4][4] = {};
                for (const Contributor* c = columns.begin(i); c != columns.end(i); ++c) {
                    const float* p = lines.data() + std::size_t(c->index) * 3;
                    const float w = c->weight;
                    for (int r = 0; r < 4; ++r)
                        for (int ch = 0; ch < 4; ++ch) sums[r][ch] += p[std::size_t(r) * lineLength + ch] * w;
                }
                for (int r = 0; r < count; ++r) {
                    std::uint8_t* out = work.data() + std::size_t(k + r) * workStride + std::size_t(i) * 3;
                    for (int ch = 0; ch < 3; ++ch) out[ch] = ToChannel(sums[r][ch]);
                }
            }
        }
    }

    // Second pass: destination row i gathers whole intermediate rows. Each
    // channel still starts at 0 and adds its contributors in list order.
    const ContributorLists rows = BuildContributors(sh, dh, filter, radius);
    std::vector<float> sums(workStride);
    for (int i = 0; i < dh; ++i) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (const Contributor* c = rows.begin(i); c != rows.end(i); ++c) {
            const std::uint8_t* in = work.data() + std::size_t(c->index) * workStride;
            const float w = c->weight;
            float* sum = sums.data();
            for (std::size_t x = 0; x < workStride; ++x) sum[x] += float(in[x]) * w;
        }
        std::uint8_t* out = destination.Row(i);
        for (std::size_t x = 0; x < workStride; ++x) out[x] = ToChannel(sums[x]);
    }
}

}  // namespace snapora
