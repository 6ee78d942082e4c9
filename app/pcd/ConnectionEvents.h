#pragma once
// What the connection manager tells the program about the connection, so that
// it never sets a window's controls itself; the application turns the events
// into the main window's captions.

#include <string>

namespace pelkor {

// The status-bar panel the connection texts go to.
inline constexpr int ConnectionPanel = 0;

enum class PcdChannel { BuiltIn, Pg5 };

class ConnectionEvents {
public:
    virtual ~ConnectionEvents() = default;
    // PG5's library opened its channel; the station check is still to come.
    virtual void ChannelOpened(PcdChannel channel) = 0;
    virtual void ConnectionOpened(PcdChannel channel) = 0;
    // No station of the task answered.
    virtual void ConnectionFailed() = 0;
    // A stop or a loss ended the connection; `message` says which.
    virtual void ConnectionEnded(const std::string& message) = 0;
};

} // namespace pelkor
