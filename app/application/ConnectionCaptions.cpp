#include "application/ConnectionCaptions.h"

namespace pelkor {

namespace {
const char* ConnectedText(PcdChannel channel) {
    return channel == PcdChannel::Pg5 ? "Connected by PG5" : "Connected";
}
} // namespace

void PCDConnectionOpen(AppContext& app, bool opened) {
    if (opened)
        app.Ui.SetConnectionFrame("PCD Connected", UiColour::Blue);
    else
        app.Ui.SetConnectionFrame("Connection failed", UiColour::Magenta);
}

void ButtonConnect(AppContext& app, bool showStart) {
    if (app.Settings.SingleShot)
        app.Ui.SetConnectButton("Start", false, false, false);
    else if (showStart)
        app.Ui.SetConnectButton("Start", true, true, false);
    else
        app.Ui.SetConnectButton("Stop", true, false, true);
}

void ConnectionCaptions::ChannelOpened(PcdChannel channel) {
    app_.Ui.SetStatusBarPanel(ConnectionPanel, ConnectedText(channel));
}

void ConnectionCaptions::ConnectionOpened(PcdChannel channel) {
    app_.Ui.SetStatusBarPanel(ConnectionPanel, ConnectedText(channel));
    ButtonConnect(app_, false);
    PCDConnectionOpen(app_, true);
}

void ConnectionCaptions::ConnectionFailed() {
    PCDConnectionOpen(app_, false);
}

void ConnectionCaptions::ConnectionEnded(const std::string& message) {
    app_.Ui.SetStatusLine(message);
    ButtonConnect(app_, true);
    app_.Ui.SetStatusBarPanel(ConnectionPanel, "PCD disconnected");
    app_.Ui.SetConnectionFrame("PCD disconnected", UiColour::Red);
}

} // namespace pelkor
