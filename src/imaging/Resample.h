#pragma once
// Filter-based resizing of 24-bit bitmaps in two separable passes: the rows
// into an intermediate picture of the destination's width and the source's
// height, then its columns into the destination. The editor shrinks the grab
// into its desktop thumbnail with the Box filter.

#include <array>
#include <string_view>

#include "imaging/Bitmap.h"

namespace snapora {

// A reconstruction filter: its value at x, in 32-bit float arithmetic.
using FilterFunction = float (*)(float x);

float BoxFilter(float x);       // 1 on (-0.5, 0.5]
float TriangleFilter(float x);  // 1 - |x| on (-1, 1)
float HermiteFilter(float x);   // (2|x| - 3)x² + 1 on (-1, 1)
float BellFilter(float x);      // the quadratic B-spline, support 1.5
float BSplineFilter(float x);   // the cubic B-spline, support 2
float Lanczos3Filter(float x);  // sinc(x) sinc(x/3) on (-3, 3)
float MitchellFilter(float x);  // the Mitchell-Netravali cubic with B = C = 1/3, support 2
float Sinc(float x);            // sin(pi x) / (pi x), 1 at 0

struct ResampleFilter {
    std::string_view Name;
    FilterFunction Function;
    float Radius;  // where the filter becomes 0 for good
};

inline constexpr std::array<ResampleFilter, 7> FilterTable{{
    {"Box", BoxFilter, 0.5f},
    {"Triangle", TriangleFilter, 1.0f},
    {"Hermite", HermiteFilter, 1.0f},
    {"Bell", BellFilter, 1.5f},
    {"B-Spline", BSplineFilter, 2.0f},
    {"Lanczos3", Lanczos3Filter, 3.0f},
    {"Mitchell", MitchellFilter, 2.0f},
}};

// Fills the destination, at its current size, with the resized source. The end
// pixels of source and destination line up (scale (dw - 1) / (sw - 1)); weights
// are not normalised; indices past an edge are reflected at it; every channel
// sum is clamped to 0..255 and rounded halves to even.
//
// Throws std::runtime_error("Source bitmap too small") for a source without
// pixels, before anything is allocated or changed. A destination without
// pixels is left alone. Source and destination may be the same bitmap.
//
// Cases the rule above leaves open:
// - One pixel row or column, in source or destination, takes the same road as
//   any other size; rows and columns are addressed one by one.
// - A destination one pixel wide (or high) from a larger source would have
//   scale 0: its one pixel is centred on the source's middle and the filter is
//   stretched over the whole source (scale 1 / sw), so Box gives the average.
// - A reflected index that still lies outside the source (a window wider than
//   the source, e.g. Lanczos3 on two pixels, Bell on one) is clamped to the
//   nearest edge pixel; a one-pixel source thus weighs only its pixel.
// - A radius wider than the filter's own: for the table's filters, which are
//   0 beyond their radius, the window of candidate indices is narrowed to that
//   radius (plus a margin), which changes nothing; the editor's Box with the
//   thumbnail's width as radius costs what 0.5 costs. For any other filter
//   the window stops four source widths past either edge. Lists hold only the
//   non-zero weights.
void ResampleBitmap(const Bitmap& source, Bitmap& destination, FilterFunction filter, float radius);

}  // namespace snapora
