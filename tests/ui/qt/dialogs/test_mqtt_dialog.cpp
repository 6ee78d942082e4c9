// The MQTT dialog: its "Test" against a real broker (skipped without
// mosquitto), and the keys it saves.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/MqttSettings.h"
#include "config/StartFile.h"
#include "mqtt/MqttTestSupport.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/dialogs/MqttDialog.h"
#include "ui/qt/dialogs/SettingsWindow.h"

namespace pelkor {
namespace {

struct MqttDialogTest : ::testing::Test {
    WindowTestApp t;
    void SetUp() override {
        auto& s = t.app.App().Settings;
        s.StartMode = 1;
        s.StartFile = t.dir.file("line.pelk");
        ASSERT_TRUE(WriteStartFileSettings(t.app.App()));
    }
    std::string RunTest(MqttDialog& d) {
        Click(&d, "cmdTest");
        e2e::WaitFor(
            [&] {
                QApplication::processEvents();
                return !d.Testing();
            },
            15);
        return Control<QLabel>(&d, "lblResult")->text().toStdString();
    }
};

TEST_F(MqttDialogTest, TestPublishesAStatusMessageAndSaveWritesTheKeys) {
    SettingsWindow w(t.app);
    EXPECT_EQ(Control<QPushButton>(&w, "cmdMqtt")->text().toStdString(), "MQTT...");

    MqttDialog d(t.app);
    Control<QLineEdit>(&d, "txbBroker")->setText("tcp://nowhere");
    EXPECT_NE(RunTest(d).find("Bad broker address"), std::string::npos);

    if (!mqtttest::MosquittoPath().empty()) {
        mqtttest::Broker broker(t.dir);
        ASSERT_TRUE(broker.Start());
        mqtttest::Subscriber sub(broker.Port(), "site/#");
        ASSERT_TRUE(sub.WaitSubscribed());
        Control<QLineEdit>(&d, "txbBroker")->setText(QString::fromStdString(broker.Url()));
        Control<QLineEdit>(&d, "txbTopicPrefix")->setText("site/line");
        EXPECT_EQ(RunTest(d),
                  "Connected to " + broker.Url() + " and published \"test\" to site/line/status.");
        EXPECT_TRUE(e2e::WaitFor(
            [&] { return sub.On("site/line/status") == std::vector<std::string>{"test"}; }, 5));
    }

    Control<QLineEdit>(&d, "txbBroker")->setText("mqtts://broker.invalid");
    Control<QLineEdit>(&d, "txbUser")->setText("op");
    Click(&d, "OKButton");
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const MqttSettings saved = ReadMqttSettings(t.app.App().Settings.StartFile);
    EXPECT_EQ(saved.Broker, "mqtts://broker.invalid");
    EXPECT_EQ(saved.User, "op");
}

} // namespace
} // namespace pelkor
