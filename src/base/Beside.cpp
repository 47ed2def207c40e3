#include "base/Beside.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace snapora {

namespace {

class KeptThread {
public:
    KeptThread() {
        std::thread thread([this] { Serve(); });
        id_ = thread.get_id();
        thread.detach();  // waits for work until the process ends
    }

    std::future<void> Run(std::function<void()> job) {
        std::packaged_task<void()> task(std::move(job));
        std::future<void> done = task.get_future();
        if (std::this_thread::get_id() == id_) {
            task();
            return done;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(task));
        }
        wake_.notify_one();
        return done;
    }

private:
    void Serve() {
        for (;;) {
            std::packaged_task<void()> task;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return !jobs_.empty(); });
                task = std::move(jobs_.front());
                jobs_.pop_front();
            }
            task();  // what the job throws goes to its future
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> jobs_;
    std::thread::id id_;
};

KeptThread& Kept() {
    // Never destroyed: the thread may still be waiting while the process ends.
    static KeptThread* kept = new KeptThread;
    return *kept;
}

}  // namespace

Beside::Beside(std::function<void()> job) : done_(Kept().Run(std::move(job))) {}

Beside& Beside::operator=(Beside&& other) noexcept {
    if (done_.valid()) done_.wait();
    done_ = std::move(other.done_);
    return *this;
}

Beside::~Beside() {
    if (done_.valid()) done_.wait();
}

void Beside::Wait() {
    if (done_.valid()) done_.get();
}

}  // namespace snapora
