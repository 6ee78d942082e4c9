// The records' way from the task engine to the broker.

#include "mqtt/MqttPublisher.h"

#include "log/LogEvents.h"
#include "mqtt/MqttPayload.h"

namespace pelkor {

MqttPublisher::MqttPublisher(MqttSettings settings)
    : settings_(settings), client_(std::move(settings)) {}

MqttPublisher::~MqttPublisher() {
    client_.Stop(0);
}

bool MqttPublisher::Start(AppContext& app) {
    running_ = client_.Start();
    if (!running_) {
        LogEvent(app, 2, client_.LastErrorText());
        return false;
    }
    LogEvent(app, 1, "MQTT: publishing to " + settings_.Broker + " under " + settings_.TopicPrefix);
    return true;
}

void MqttPublisher::ReadingDone(const ReadingDoneEvent& event) {
    if (!running_ || !event.TaskRecord) return;
    client_.Publish({MqttTaskTopic(settings_.TopicPrefix, event.TaskNumber),
                     BuildMqttPayload(event), settings_.QoS, settings_.Retain});
}

void MqttPublisher::FlushLog(AppContext& app) {
    for (const MqttLogLine& line : client_.TakeLogLines())
        LogEvent(app, line.Code, line.Text);
}

void MqttPublisher::Stop(AppContext& app, double seconds) {
    if (!running_) return;
    client_.Stop(seconds);
    FlushLog(app);
    const std::size_t left = client_.Pending();
    if (left > 0)
        LogEvent(app, 2, "MQTT: " + std::to_string(left) + " records not delivered at the end");
    running_ = false;
}

} // namespace pelkor
