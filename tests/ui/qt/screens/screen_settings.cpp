// The settings window (changeable and locked start file), the folder picker
// and the built-in channel dialog.
#include <filesystem>

#include "Screens.h"
#include "config/StartFile.h"
#include "ui/qt/dialogs/ChannelDialog.h"
#include "ui/qt/dialogs/FolderPicker.h"
#include "ui/qt/dialogs/SettingsWindow.h"

using namespace pelkor::screens;

namespace {

pelkor::PelkorApp& Prepared(ScreenApp& s, const std::string& folder, int16_t mode) {
    auto& settings = s.app.App().Settings;
    settings.StartMode = mode;
    settings.StartFile = folder + "/Plant A.pelk";
    settings.LogFolder = folder + "/Logs";
    settings.LogUsed = 1;
    settings.AutoConnect = 1;
    settings.DLL = mode == 1 ? 0 : 20;
    return s.app;
}

} // namespace

PELKOR_SCREEN("settings") {
    static ScreenApp s(env.Folder);
    return std::make_unique<pelkor::SettingsWindow>(Prepared(s, env.Folder, 1));
}

PELKOR_SCREEN("settings-locked") {
    static ScreenApp s(env.Folder);
    return std::make_unique<pelkor::SettingsWindow>(Prepared(s, env.Folder, 2));
}

PELKOR_SCREEN("picker") {
    static ScreenApp s(env.Folder);
    for (const char* sub : {"Logs/2023", "Logs/2024", "Logs/Line 1", "Output"})
        std::filesystem::create_directories(env.Folder + "/" + sub);
    const std::vector<pelkor::Volume> volumes{
        {"/", "", true}, {env.Folder, "DATA", true}, {"/media/cdrom", "", false}};
    return std::make_unique<pelkor::FolderPickerDialog>(
        s.app.App(), env.Folder + "/Logs", nullptr, [volumes] { return volumes; },
        [](const pelkor::Volume& v, std::string&) { return v.Ready; });
}

PELKOR_SCREEN("channel") {
    static ScreenApp s(env.Folder);
    auto& settings = Prepared(s, env.Folder, 1).App().Settings;
    settings.Port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    settings.Baudrate = 19200;
    settings.Station = 5;
    return std::make_unique<pelkor::ChannelDialog>(s.app, nullptr, [] {
        return std::vector<std::string>{
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB0",
            "/dev/ttyACM0"};
    });
}

// A configured adapter that is not plugged in and a rate the library lacks:
// both shown as configured.
PELKOR_SCREEN("channel-unplugged") {
    static ScreenApp s(env.Folder);
    auto& settings = Prepared(s, env.Folder, 1).App().Settings;
    settings.Port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_UNPLUGGED-if00-port0";
    settings.Baudrate = 57600;
    return std::make_unique<pelkor::ChannelDialog>(s.app, nullptr, [] {
        return std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyACM0"};
    });
}
