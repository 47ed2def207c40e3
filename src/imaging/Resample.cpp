#include "imaging/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
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

    // No table filter is non-zero beyond 3 filter units, and a filter unit is
    // at most one source width: the window is cut four widths past the edges.
    const double lowest = -4.0 * sourceLength;
    const double highest = 5.0 * sourceLength - 1;

    ContributorLists lists;
    lists.first.reserve(std::size_t(destinationLength) + 1);
    lists.first.push_back(0);
    for (int i = 0; i < destinationLength; ++i) {
        const float centre = single ? float(sourceLength - 1) / 2.0f : float(i) / scale;
        const auto low = static_cast<long long>(Limit(std::floor(double(centre - reach)), lowest, highest));
        const auto high = static_cast<long long>(Limit(std::ceil(double(centre + reach)), lowest, highest));
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

    // First pass: each source row into a row of the intermediate.
    {
        const ContributorLists columns = BuildContributors(sw, dw, filter, radius);
        for (int k = 0; k < sh; ++k) {
            const std::uint8_t* in = source.Row(k);
            std::uint8_t* out = work.data() + std::size_t(k) * workStride;
            for (int i = 0; i < dw; ++i) {
                float c0 = 0.0f, c1 = 0.0f, c2 = 0.0f;
                for (const Contributor* c = columns.begin(i); c != columns.end(i); ++c) {
                    const std::uint8_t* p = in + std::size_t(c->index) * 3;
                    c0 += float(p[0]) * c->weight;
                    c1 += float(p[1]) * c->weight;
                    c2 += float(p[2]) * c->weight;
                }
                out[i * 3] = ToChannel(c0);
                out[i * 3 + 1] = ToChannel(c1);
                out[i * 3 + 2] = ToChannel(c2);
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
