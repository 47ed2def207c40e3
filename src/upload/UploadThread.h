#pragma once
// The worker that finishes one capture: compresses the screenshot, then saves
// it locally or uploads it, and reports every step on the UI thread.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace snapora {

struct ProgramContext;
class HttpClient;

class TUploadThread {
public:
    // Starts running at once; it takes its input from the capture state and
    // the settings dialog's controls.
    TUploadThread(ProgramContext& context, HttpClient& http);
    ~TUploadThread();  // waits for the run to end
    TUploadThread(const TUploadThread&) = delete;
    TUploadThread& operator=(const TUploadThread&) = delete;

    // Stops the run at its next step: nothing more is compressed, saved, sent,
    // shown or copied. Called on the UI thread; the run still ends as usual.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }

    // True once the run's end reached the UI thread: the worker needs it no more.
    bool Finished() const { return finished_; }
    // True once the thread's function has returned.
    bool Ended() const { return ended_; }
    void WaitFor();

private:
    void Execute();
    void CompressScreenshot();
    void SaveScreenshotLocally();
    void UploadScreenshot();
    void EndRun();
    // Runs fn on the UI thread and waits for it; a cancelled run ends there instead.
    void Synchronize(const std::function<void()>& fn);
    void ThrowIfCancelled() const;
    // Puts a status text on show without waiting for the UI thread.
    void Status(const std::string& text);

    ProgramContext& context_;
    HttpClient& http_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

// The first name prefix + number + suffix, counting from `start`, that no file has.
std::string NextFreeFileName(const std::function<bool(const std::string&)>& exists, const std::string& prefix,
                             int start, const std::string& suffix);

}  // namespace snapora
