#pragma once
// The main window's side of the connection: its frame, the connect button and
// the status texts, as the connection manager's events set them.

#include "core/AppContext.h"
#include "pcd/ConnectionEvents.h"

namespace pelkor {

// The connection frame: "PCD Connected" in blue, or "Connection failed" in magenta.
void PCDConnectionOpen(AppContext& app, bool opened);
// The connect button and the Start/Stop menu items (all off in a single-shot run).
void ButtonConnect(AppContext& app, bool showStart);

class ConnectionCaptions : public ConnectionEvents {
public:
    explicit ConnectionCaptions(AppContext& app) : app_(app) {}

    void ChannelOpened(PcdChannel channel) override;
    void ConnectionOpened(PcdChannel channel) override;
    void ConnectionFailed() override;
    void ConnectionEnded(const std::string& message) override;

private:
    AppContext& app_;
};

} // namespace pelkor
