#pragma once
// Where a JPEG file is heading, judged from the bytes its first rows took.
// By the rows' share of the height a file misjudges screenshots whose top is
// busier or lighter than the rest (a dense terminal above an empty one, an
// article whose text starts below a picture); by the rows' share of the
// picture's detail it misjudges them much less. The detail is a sparse map of
// neighbour differences, made on the first question unless made before.

#include <cstddef>
#include <vector>

namespace snapora {

class Bitmap;

class SizeProjection {
public:
    explicit SizeProjection(const Bitmap& picture) : picture_(picture) {}

    // Maps the detail now (another thread may, before the first question).
    void MapDetail();
    // The file's likely size when its first `rows` rows took `bytes`.
    double Projected(int rows, std::size_t bytes);

private:

    const Bitmap& picture_;
    std::vector<double> detailAbove_;  // [band]: the detail of the bands of rows above it; the last is all of it
};

}  // namespace snapora
