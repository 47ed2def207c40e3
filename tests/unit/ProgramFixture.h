#pragma once
// A whole program on the headless backend and the fake platform.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FakeHttpClient.h"
#include "app/MainForm.h"
#include "app/Program.h"
#include "platform/fake/FakePlatform.h"
#include "ui/headless/HeadlessBackend.h"

namespace snapora {

class ProgramTest : public ::testing::Test {
protected:
    void Start() {
        program = std::make_unique<Program>(backend, fake.platform, http);
        ASSERT_TRUE(program->Start());
    }
    void SetUp() override { Start(); }

    TMainForm& Main() { return program->Main(); }
    // Serves the worker's calls on this "UI thread" until the condition holds.
    template <class Pred>
    void PumpUntil(Pred done) {
        while (!done()) {
            backend.ProcessMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void WaitUntilHeld() {
        PumpUntil([&] { return http.Holding(); });
    }
    CaptureState& State() { return program->State(); }

    HeadlessBackend backend;
    FakePlatform fake;
    FakeHttpClient http;
    std::unique_ptr<Program> program;
};

// For tests that script the platform before the program starts.
class UnstartedProgramTest : public ProgramTest {
protected:
    void SetUp() override {}
};

}  // namespace snapora
