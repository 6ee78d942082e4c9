// The MQTT dialog with a filled-in [MQTT] section.
#include "Screens.h"
#include "config/PrivateProfile.h"
#include "ui/qt/dialogs/MqttDialog.h"

using namespace pelkor::screens;

PELKOR_SCREEN("mqtt") {
    static ScreenApp s(env.Folder);
    auto& settings = s.app.App().Settings;
    settings.StartMode = 1;
    settings.StartFile = env.Folder + "/Plant A.pelk";
    pelkor::WriteProfileStrings(settings.StartFile,
                                {{"MQTT", "Broker", "mqtts://broker.plant:8883"},
                                 {"MQTT", "User", "line-a"},
                                 {"MQTT", "PasswordFile", "/home/op/.config/pelkor/mqtt.pw"}});
    return std::make_unique<pelkor::MqttDialog>(s.app);
}
