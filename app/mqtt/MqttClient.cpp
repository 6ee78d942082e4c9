// libmosquitto behind the queue: the network loop (mosquitto_loop_start)
// and a sender thread that hands it queued messages while connected,
// keeping a bounded number in flight so that the order survives an outage.

#include "mqtt/MqttClient.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>

#include "mqtt/MqttPayload.h"

namespace pelkor {

namespace {

constexpr int InFlightWindow = 200;
constexpr int KeepAliveSeconds = 30;
constexpr const char* SystemCaBundle = "/etc/ssl/certs/ca-certificates.crt";

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string ConnackText(int rc) {
    switch (rc) {
    case 1:
        return "unacceptable protocol version";
    case 2:
        return "client id rejected";
    case 3:
        return "broker unavailable";
    case 4:
        return "bad user name or password";
    case 5:
        return "not authorised";
    default:
        return "reason " + std::to_string(rc);
    }
}

// The reason of a failed call, without the library's final full stop.
std::string ReasonText(int rc) {
    std::string text = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno))
                                            : std::string(mosquitto_strerror(rc));
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Creates and configures a client (credentials, TLS, last will); null with
// the reason in error.
mosquitto* NewClient(const MqttSettings& s, const MqttAddress& a, void* user, std::string& error) {
    InitLibrary();
    mosquitto* m = mosquitto_new(s.ClientId.c_str(), true, user);
    if (!m) {
        error = "cannot create the MQTT client";
        return nullptr;
    }
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    std::string password;
    int rc = MOSQ_ERR_SUCCESS;
    if (!s.PasswordFile.empty() && !ReadMqttPassword(s.PasswordFile, password, error)) {
        mosquitto_destroy(m);
        return nullptr;
    }
    if (!s.User.empty())
        rc = mosquitto_username_pw_set(m, s.User.c_str(),
                                       s.PasswordFile.empty() ? nullptr : password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && a.Tls) {
        const std::string ca = s.CAFile.empty() ? SystemCaBundle : s.CAFile;
        if (::access(ca.c_str(), R_OK) != 0) {
            error = "cannot read the CA file " + ca;
            mosquitto_destroy(m);
            return nullptr;
        }
        rc = mosquitto_tls_set(m, ca.c_str(), nullptr, nullptr, nullptr, nullptr);
    }
    const std::string offline = "offline";
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_will_set(m, MqttStatusTopic(s.TopicPrefix).c_str(),
                                static_cast<int>(offline.size()), offline.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

} // namespace

void MqttQueue::Push(MqttMessage message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (items_.size() >= limit_) {
            items_.pop_front();
            ++dropped_;
        }
        items_.push_back(std::move(message));
    }
    changed_.notify_all();
}

bool MqttQueue::Empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.empty();
}

std::size_t MqttQueue::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
}

std::uint64_t MqttQueue::TakeDropped() {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t n = dropped_;
    dropped_ = 0;
    return n;
}

// State shared with libmosquitto's thread; guarded by the queue's mutex.
struct MqttClient::Impl {
    MqttClient* owner = nullptr;
    MqttAddress address;
    mosquitto* mosq = nullptr;
    bool loopStarted = false;
    bool connected = false;
    bool everConnected = false;
    bool stopping = false;
    int inFlight = 0;

    static void OnConnect(mosquitto* m, void* user, int rc) {
        auto* self = static_cast<MqttClient*>(user);
        Impl& d = *self->impl_;
        if (rc != 0) {
            self->Note("MQTT: the broker " + self->settings_.Broker +
                       " refused the connection: " + ConnackText(rc));
            return;
        }
        const std::string online = "online";
        mosquitto_publish(m, nullptr, MqttStatusTopic(self->settings_.TopicPrefix).c_str(),
                          static_cast<int>(online.size()), online.data(), 1, true);
        bool again = false;
        std::size_t kept = 0;
        {
            std::lock_guard<std::mutex> lock(self->queue_.mutex_);
            d.connected = true;
            again = d.everConnected;
            d.everConnected = true;
            kept = self->queue_.items_.size() + static_cast<std::size_t>(d.inFlight);
        }
        self->queue_.changed_.notify_all();
        // The event log leaves out an information line equal to the last one.
        self->Note("MQTT: connected to " + self->settings_.Broker +
                       (again ? " again, delivering " + std::to_string(kept) + " records kept"
                              : std::string()),
                   1);
    }

    static void OnDisconnect(mosquitto*, void* user, int rc) {
        auto* self = static_cast<MqttClient*>(user);
        bool was = false;
        {
            std::lock_guard<std::mutex> lock(self->queue_.mutex_);
            was = self->impl_->connected;
            self->impl_->connected = false;
        }
        if (was && rc != 0)
            self->Note("MQTT: connection to " + self->settings_.Broker +
                       " lost; records are kept until the broker is back");
    }

    static void OnPublish(mosquitto*, void* user, int) {
        auto* self = static_cast<MqttClient*>(user);
        {
            std::lock_guard<std::mutex> lock(self->queue_.mutex_);
            if (self->impl_->inFlight > 0) --self->impl_->inFlight;
        }
        self->queue_.changed_.notify_all();
    }

    static void OnLog(mosquitto*, void* user, int level, const char* text) {
        if (level != MOSQ_LOG_ERR || !text) return;
        auto* self = static_cast<MqttClient*>(user);
        const std::string t = text;
        const bool tls = t.find("SSL") != std::string::npos || t.find("TLS") != std::string::npos;
        self->Note(std::string("MQTT: ") + (tls ? "TLS failure with " : "error with ") +
                   self->settings_.Broker + ": " + t);
    }
};

MqttClient::MqttClient(MqttSettings settings)
    : settings_(std::move(settings)), queue_(static_cast<std::size_t>(settings_.QueueLimit)),
      impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
}

MqttClient::~MqttClient() {
    Stop(0);
}

bool MqttClient::Start() {
    Impl& d = *impl_;
    std::string error;
    if (!ParseMqttBroker(settings_.Broker, d.address, error)) {
        lastErrorText_ = "MQTT: bad broker address \"" + settings_.Broker + "\": " + error;
        return false;
    }
    d.mosq = NewClient(settings_, d.address, this, error);
    if (!d.mosq) {
        lastErrorText_ = "MQTT: " + error + "; nothing is published";
        return false;
    }
    mosquitto_connect_callback_set(d.mosq, &Impl::OnConnect);
    mosquitto_disconnect_callback_set(d.mosq, &Impl::OnDisconnect);
    mosquitto_publish_callback_set(d.mosq, &Impl::OnPublish);
    mosquitto_log_callback_set(d.mosq, &Impl::OnLog);
    mosquitto_reconnect_delay_set(d.mosq, 1, 4, true);
    // The network loop retries on its own after a failed connect; the first
    // attempt (a name look-up may block) runs on the sender thread.
    sender_ = std::thread([this] { SendLoop(); });
    return true;
}

bool MqttClient::FirstConnect() {
    Impl& d = *impl_;
    // libmosquitto's loop retries a connection that was once under way, not
    // a first attempt that failed at once (refused, no such host): retry
    // that here until it starts, or until Stop.
    for (int delay = 1;; delay = std::min(delay * 2, 4)) {
        const int rc = mosquitto_connect_async(d.mosq, d.address.Host.c_str(), d.address.Port,
                                               KeepAliveSeconds);
        if (rc == MOSQ_ERR_SUCCESS) break;
        Note("MQTT: cannot connect to " + settings_.Broker + " (" + ReasonText(rc) +
             "); retrying, records are kept meanwhile");
        std::unique_lock<std::mutex> lock(queue_.mutex_);
        if (queue_.changed_.wait_for(lock, std::chrono::seconds(delay), [&] { return d.stopping; }))
            return false;
    }
    if (mosquitto_loop_start(d.mosq) != MOSQ_ERR_SUCCESS) {
        Note("MQTT: cannot start the network thread; nothing is published");
        return false;
    }
    std::lock_guard<std::mutex> lock(queue_.mutex_);
    d.loopStarted = true;
    return true;
}

void MqttClient::SendLoop() {
    Impl& d = *impl_;
    if (!FirstConnect()) return;
    std::unique_lock<std::mutex> lock(queue_.mutex_);
    for (;;) {
        queue_.changed_.wait(lock, [&] {
            return d.stopping ||
                   (d.connected && !queue_.items_.empty() && d.inFlight < InFlightWindow);
        });
        if (d.stopping) return;
        MqttMessage m = std::move(queue_.items_.front());
        queue_.items_.pop_front();
        ++d.inFlight;
        lock.unlock();
        // Once handed over, libmosquitto keeps a QoS 1 message until the
        // broker acknowledges it, across reconnections.
        const int prc =
            mosquitto_publish(d.mosq, nullptr, m.Topic.c_str(), static_cast<int>(m.Payload.size()),
                              m.Payload.data(), m.QoS, m.Retain);
        lock.lock();
        if (prc != MOSQ_ERR_SUCCESS) {
            --d.inFlight;
            if (prc == MOSQ_ERR_NO_CONN || prc == MOSQ_ERR_CONN_LOST) {
                queue_.items_.push_front(std::move(m));
                d.connected = false;
            } else {
                lock.unlock();
                Note(std::string("MQTT: a message to ") + m.Topic +
                     " was refused: " + mosquitto_strerror(prc));
                lock.lock();
            }
        }
    }
}

void MqttClient::Publish(MqttMessage message) {
    if (!impl_->mosq) return;
    queue_.Push(std::move(message));
}

void MqttClient::Stop(double seconds) {
    Impl& d = *impl_;
    if (!d.mosq) return;
    {
        std::unique_lock<std::mutex> lock(queue_.mutex_);
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        queue_.changed_.wait_until(lock, until,
                                   [&] { return queue_.items_.empty() && d.inFlight == 0; });
        d.stopping = true;
    }
    queue_.changed_.notify_all();
    if (sender_.joinable()) sender_.join();
    if (d.connected) {
        const std::string offline = "offline";
        mosquitto_publish(d.mosq, nullptr, MqttStatusTopic(settings_.TopicPrefix).c_str(),
                          static_cast<int>(offline.size()), offline.data(), 1, true);
    }
    mosquitto_disconnect(d.mosq);
    if (d.loopStarted) mosquitto_loop_stop(d.mosq, false);
    mosquitto_destroy(d.mosq);
    d.mosq = nullptr;
}

bool MqttClient::Connected() const {
    std::lock_guard<std::mutex> lock(queue_.mutex_);
    return impl_->connected;
}

std::size_t MqttClient::Pending() const {
    std::lock_guard<std::mutex> lock(queue_.mutex_);
    return queue_.items_.size() + static_cast<std::size_t>(impl_->inFlight);
}

void MqttClient::Note(const std::string& line, int code) {
    std::lock_guard<std::mutex> lock(logMutex_);
    // A broker that stays away is retried every few seconds: one line for
    // each change of state, not one per attempt.
    if (line == lastNoted_) return;
    lastNoted_ = line;
    logLines_.push_back({code, line});
}

std::vector<MqttLogLine> MqttClient::TakeLogLines() {
    const std::uint64_t dropped = queue_.TakeDropped();
    std::lock_guard<std::mutex> lock(logMutex_);
    std::vector<MqttLogLine> lines;
    lines.swap(logLines_);
    if (dropped > 0)
        lines.push_back({2, "MQTT: queue full (" + std::to_string(settings_.QueueLimit) +
                                " messages), " + std::to_string(dropped) + " oldest dropped"});
    return lines;
}

namespace {

struct TestState {
    int connack = -1;
    bool published = false;
    std::string error;
};

} // namespace

bool TestMqttConnection(const MqttSettings& settings, double seconds, std::string& result) {
    MqttAddress address;
    std::string error;
    if (!ParseMqttBroker(settings.Broker, address, error)) {
        result = "Bad broker address: " + error;
        return false;
    }
    TestState state;
    mosquitto* m = NewClient(settings, address, &state, error);
    if (!m) {
        result = error;
        return false;
    }
    mosquitto_connect_callback_set(
        m, [](mosquitto*, void* u, int rc) { static_cast<TestState*>(u)->connack = rc; });
    mosquitto_publish_callback_set(
        m, [](mosquitto*, void* u, int) { static_cast<TestState*>(u)->published = true; });
    mosquitto_log_callback_set(m, [](mosquitto*, void* u, int level, const char* text) {
        if (level == MOSQ_LOG_ERR && text) static_cast<TestState*>(u)->error = text;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto loopUntil = [&](auto done) {
        while (!done() && std::chrono::steady_clock::now() < until)
            if (mosquitto_loop(m, 100, 1) != MOSQ_ERR_SUCCESS) return false;
        return done();
    };
    int rc = mosquitto_connect(m, address.Host.c_str(), address.Port, KeepAliveSeconds);
    bool ok = false;
    if (rc != MOSQ_ERR_SUCCESS) {
        result = "Cannot connect to " + settings.Broker + ": " + ReasonText(rc);
    } else if (!loopUntil([&] { return state.connack >= 0; })) {
        result =
            "No answer from " + settings.Broker + (state.error.empty() ? "" : ": " + state.error);
    } else if (state.connack != 0) {
        result = "The broker refused the connection: " + ConnackText(state.connack);
    } else {
        const std::string text = "test";
        mosquitto_publish(m, nullptr, MqttStatusTopic(settings.TopicPrefix).c_str(),
                          static_cast<int>(text.size()), text.data(), 1, false);
        ok = loopUntil([&] { return state.published; });
        result = ok ? "Connected to " + settings.Broker + " and published \"test\" to " +
                          MqttStatusTopic(settings.TopicPrefix) + "."
                    : "Connected, but the broker did not acknowledge the test message.";
        mosquitto_disconnect(m);
    }
    mosquitto_destroy(m);
    return ok;
}

} // namespace pelkor
