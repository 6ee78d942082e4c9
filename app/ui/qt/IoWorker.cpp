#include "ui/qt/IoWorker.h"

namespace pelkor {

IoWorker::IoWorker(std::function<void()> done)
    : done_(std::move(done)), thread_([this] { Loop(); }) {}

IoWorker::~IoWorker() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

std::shared_ptr<IoWorker::Job> IoWorker::Submit(std::function<void()> call) {
    auto job = std::make_shared<Job>();
    job->Call = std::move(call);
    {
        std::lock_guard<std::mutex> lock(m_);
        queue_.push_back(job);
    }
    cv_.notify_all();
    return job;
}

bool IoWorker::Finished(const std::shared_ptr<Job>& job) {
    std::lock_guard<std::mutex> lock(m_);
    return job->Done;
}

void IoWorker::Loop() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            // Calls already asked for still run: their callers wait on them.
            if (queue_.empty()) return;
            job = queue_.front();
            queue_.pop_front();
        }
        try {
            job->Call();
        } catch (...) {
            // Callers catch their own; nothing may end the worker.
        }
        {
            std::lock_guard<std::mutex> lock(m_);
            job->Done = true;
        }
        if (done_) done_();
    }
}

} // namespace pelkor
