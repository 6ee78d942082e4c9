#pragma once
// The one I/O thread of a windowed run. Library calls run here one after
// the other, in the order asked for, so two never overlap, while the window's
// thread goes on handling events until its own call is back.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace pelkor {

class IoWorker {
public:
    // done() runs on the worker after each call; it must only wake the
    // window's thread (it may not touch widgets).
    explicit IoWorker(std::function<void()> done);
    ~IoWorker();
    IoWorker(const IoWorker&) = delete;
    IoWorker& operator=(const IoWorker&) = delete;

    struct Job {
        std::function<void()> Call;
        bool Done = false; // guarded by the worker's mutex
    };
    std::shared_ptr<Job> Submit(std::function<void()> call);
    bool Finished(const std::shared_ptr<Job>& job);

private:
    void Loop();
    std::function<void()> done_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Job>> queue_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace pelkor
