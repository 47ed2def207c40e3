// Runs every test of this binary with DIB-section pixels, so the canvas
// contract tests exercise GdiCanvas instead of the software canvas.

#include <gtest/gtest.h>

#include "platform/win32/DibPixels.h"

namespace snapora {
namespace {

class UseGdiPixels final : public ::testing::Environment {
public:
    void SetUp() override { SetPixelMemorySource(&dibSource_); }
    void TearDown() override { SetPixelMemorySource(nullptr); }

private:
    DibPixelSource dibSource_;
};

// Registered during static initialisation, before gtest_main runs the tests;
// GoogleTest owns and deletes the environment.
[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new UseGdiPixels);

}  // namespace
}  // namespace snapora
