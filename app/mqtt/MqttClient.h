#pragma once
// The broker connection: a bounded queue of messages and the libmosquitto
// client, run on threads of their own (libmosquitto's network loop and a
// sender that feeds it), so Publish never waits on the network. Messages
// wait in the queue while the broker cannot be reached and go out in order
// when it is back; when the queue is full the oldest are dropped and counted.
// What the threads have to tell the log is collected for the program's own
// thread (TakeLogLines).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/MqttSettings.h"

namespace pelkor {

struct MqttMessage {
    std::string Topic;
    std::string Payload;
    int QoS = 1;
    bool Retain = false;
};

// Thread-safe FIFO of at most `limit` messages; a push into a full queue
// drops the oldest.
class MqttQueue {
public:
    explicit MqttQueue(std::size_t limit) : limit_(limit < 1 ? 1 : limit) {}
    void Push(MqttMessage message);
    bool Empty() const;
    std::size_t Size() const;
    // Dropped since the last call.
    std::uint64_t TakeDropped();

private:
    friend class MqttClient;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<MqttMessage> items_;
    std::size_t limit_;
    std::uint64_t dropped_ = 0;
};

// A line for the event log; Code is the log's (1 information, 2 error).
struct MqttLogLine {
    int Code = 1;
    std::string Text;
};

class MqttClient {
public:
    explicit MqttClient(MqttSettings settings);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Checks the settings (broker address, password file, CA file) and starts
    // the threads. False with the reason in LastErrorText: nothing started.
    bool Start();
    // Queues one message; never blocks on the network.
    void Publish(MqttMessage message);
    // Waits at most `seconds` for what is queued to reach a connected broker,
    // publishes "offline" and disconnects.
    void Stop(double seconds);

    bool Connected() const;
    std::size_t Pending() const;
    std::vector<MqttLogLine> TakeLogLines();
    const std::string& LastErrorText() const { return lastErrorText_; }

private:
    struct Impl;
    bool FirstConnect();
    void SendLoop();
    void Note(const std::string& line, int code = 2);

    MqttSettings settings_;
    MqttQueue queue_;
    std::unique_ptr<Impl> impl_;
    std::thread sender_;
    std::string lastErrorText_;
    mutable std::mutex logMutex_;
    std::vector<MqttLogLine> logLines_;
    std::string lastNoted_;
};

// The dialog's "Test": connects, publishes one status message ("test") and
// disconnects, within `seconds`. The result text says what happened.
bool TestMqttConnection(const MqttSettings& settings, double seconds, std::string& result);

} // namespace pelkor
