#pragma once
// Publishes every stored record: observes the task engine's ReadingDone and
// hands each record to the broker connection, which never makes the
// scheduler wait. Lines for the event log are written from the program's own
// thread (FlushLog), as every other log line is.

#include <memory>

#include "config/MqttSettings.h"
#include "core/AppContext.h"
#include "mqtt/MqttClient.h"
#include "tasks/ReadingEvents.h"

namespace pelkor {

class MqttPublisher : public ReadingObserver {
public:
    explicit MqttPublisher(MqttSettings settings);
    ~MqttPublisher() override;

    // Starts the connection; false (the reason logged) when the settings
    // cannot work. Logging to the files goes on either way.
    bool Start(AppContext& app);
    void ReadingDone(const ReadingDoneEvent& event) override;
    // Writes what the connection had to say into the event log.
    void FlushLog(AppContext& app);
    // Delivers what is queued (at most `seconds`), then disconnects.
    void Stop(AppContext& app, double seconds);

    MqttClient& Client() { return client_; }

private:
    MqttSettings settings_;
    MqttClient client_;
    bool running_ = false;
};

} // namespace pelkor
