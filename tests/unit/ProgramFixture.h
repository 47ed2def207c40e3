#pragma once
// A whole program on the headless backend and the fake platform.

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "app/Program.h"
#include "platform/fake/FakePlatform.h"
#include "ui/headless/HeadlessBackend.h"

namespace snapora {

class ProgramTest : public ::testing::Test {
protected:
    void Start() {
        program = std::make_unique<Program>(backend, fake.platform);
        ASSERT_TRUE(program->Start());
    }
    void SetUp() override { Start(); }

    TMainForm& Main() { return program->Main(); }
    CaptureState& State() { return program->State(); }

    HeadlessBackend backend;
    FakePlatform fake;
    std::unique_ptr<Program> program;
};

// For tests that script the platform before the program starts.
class UnstartedProgramTest : public ProgramTest {
protected:
    void SetUp() override {}
};

}  // namespace snapora
