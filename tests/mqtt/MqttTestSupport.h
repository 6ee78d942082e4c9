#pragma once
// A real mosquitto broker on a loopback port chosen at run time, and a
// subscriber that records what arrives. Tests skip when mosquitto is absent.

#include <mosquitto.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "e2e/E2eSupport.h"
#include "support/TempDir.h"

namespace pelkor::mqtttest {

inline std::string MosquittoPath() {
    for (const char* p : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto"})
        if (::access(p, X_OK) == 0) return p;
    return "";
}

inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

inline bool PortOpen(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

class Broker {
public:
    // extra: more configuration lines (password_file, ...).
    explicit Broker(const TempDir& dir, std::string extra = "") : dir_(dir), port_(FreePort()) {
        e2e::WriteAll(dir_.file("mosquitto.conf"), "listener " + std::to_string(port_) +
                                                       " 127.0.0.1\nallow_anonymous " +
                                                       (extra.empty() ? "true" : "false") +
                                                       "\npersistence true\npersistence_location " +
                                                       dir_.path() + "/\n" + extra + "\n");
    }
    bool Start() {
        child_ = std::make_unique<e2e::Child>(
            MosquittoPath(), std::vector<std::string>{"-c", dir_.file("mosquitto.conf")},
            std::map<std::string, std::string>{}, dir_.file("broker.out"), dir_.file("broker.err"));
        return child_->Started() && e2e::WaitFor([&] { return PortOpen(port_); }, 10);
    }
    void Stop() {
        if (!child_) return;
        child_->Signal(SIGTERM);
        // It saves the sessions on its way out; a kill would lose them.
        child_->Wait(20);
        child_.reset();
    }
    ~Broker() { Stop(); }
    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

private:
    const TempDir& dir_;
    int port_;
    std::unique_ptr<e2e::Child> child_;
};

// Subscribes to `filter` and keeps every message (topic, payload, retained).
class Subscriber {
public:
    struct Message {
        std::string Topic, Payload;
        bool Retained = false;
    };
    Subscriber(int port, const std::string& filter) : filter_(filter) {
        mosquitto_lib_init();
        // A lasting session: the broker keeps what arrives while this
        // subscriber is away, across a restart of the broker.
        m_ = mosquitto_new("pelkor-test-subscriber", false, this);
        mosquitto_connect_callback_set(m_, [](mosquitto* m, void* u, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(u)->filter_.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto*, void* u, int, int, const int*) {
            auto* self = static_cast<Subscriber*>(u);
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->subscribed_ = true;
        });
        mosquitto_message_callback_set(m_, [](mosquitto*, void* u, const mosquitto_message* msg) {
            auto* self = static_cast<Subscriber*>(u);
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->messages_.push_back({msg->topic,
                                       std::string(static_cast<const char*>(msg->payload),
                                                   static_cast<std::size_t>(msg->payloadlen)),
                                       msg->retain});
        });
        mosquitto_reconnect_delay_set(m_, 1, 1, false);
        mosquitto_connect_async(m_, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_);
    }
    ~Subscriber() {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, true);
        mosquitto_destroy(m_);
    }
    bool WaitSubscribed() {
        return e2e::WaitFor(
            [&] {
                std::lock_guard<std::mutex> lock(mutex_);
                return subscribed_;
            },
            10);
    }
    std::vector<Message> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_.size();
    }
    // Payloads of one topic, in arrival order.
    std::vector<std::string> On(const std::string& topic) {
        std::vector<std::string> out;
        for (const Message& m : Messages())
            if (m.Topic == topic) out.push_back(m.Payload);
        return out;
    }

private:
    std::string filter_;
    mosquitto* m_ = nullptr;
    std::mutex mutex_;
    bool subscribed_ = false;
    std::vector<Message> messages_;
};

} // namespace pelkor::mqtttest
