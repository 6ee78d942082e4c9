// Pelkor's own channel dialog against the simulator's pseudo-terminal.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <cstdlib>

#include "config/StartFile.h"
#include "pcd/PcdConnection.h"
#include "pcd/PcdTestSupport.h"
#include "sim/PcdSim.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/dialogs/ChannelDialog.h"
#include "ui/qt/dialogs/SettingsWindow.h"

namespace pelkor {
namespace {

struct ChannelDialogTest : ::testing::Test {
    WindowTestApp t;
    pcdsim::Simulator sim;
    std::string link = t.dir.file("ttyUSB-sim");
    void SetUp() override {
        sim.AddStation(5).SetRegister(10, 4711);
        ASSERT_TRUE(sim.Start(link)) << sim.LastError();
        // Port 1's default must not be what makes the reads work.
        setenv("PELSBUS_COM1", t.dir.file("no-such-device").c_str(), 1);
        auto& s = t.app.App().Settings;
        s.StartMode = 1;
        s.StartFile = t.dir.file("line.pelk");
        s.Station = 5;
        ASSERT_TRUE(WriteStartFileSettings(t.app.App()));
    }
    void TearDown() override {
        unsetenv("PELSBUS_COM1");
        sim.Stop();
    }
};

TEST_F(ChannelDialogTest, TestReadsTheStatusAndSavedKeysAreUsedByARun) {
    ChannelDialog d(t.app, nullptr, [&] {
        return std::vector<std::string>{"/dev/serial/by-id/usb-x", link};
    });
    auto* port = Control<QLineEdit>(&d, "txbPort");
    auto* result = Control<QLabel>(&d, "lblResult");
    port->setText(QString::fromStdString(t.dir.file("missing-adapter")));
    Click(&d, "cmdTest");
    EXPECT_NE(result->text().toStdString().find("does not exist"), std::string::npos)
        << result->text().toStdString();

    Control<QListWidget>(&d, "lstDevices")->setCurrentRow(1);
    EXPECT_EQ(port->text().toStdString(), link);
    auto* baud = Control<QComboBox>(&d, "cmbBaudrate");
    baud->setCurrentIndex(baud->findText("19200"));
    Click(&d, "cmdTest");
    EXPECT_EQ(result->text().toStdString(), "OK : station 5 answered, PCD status 2 (R)");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(result)->text(QAccessible::Name),
              result->text());

    Click(&d, "OKButton");
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const std::string file = t.app.App().Settings.StartFile;
    EXPECT_EQ(GetIniString(file, "Connection", "Port"), link);
    EXPECT_EQ(GetIniString(file, "Connection", "Baudrate"), "19200");

    // A later run takes them from the start file and reads through the device.
    WindowTestApp run;
    AppContext& app = run.app.App();
    app.Settings.StartFile = file;
    ASSERT_TRUE(ReadPelkorStartFile(app));
    EXPECT_EQ(app.Settings.Baudrate, 19200);
    app.Status.CurrentTask = 1;
    test::SetTaskStations(app.Tasks[1], {5});
    run.app.Connection().SearchAllStation(1, 5);
    ASSERT_TRUE(run.app.Connection().OpenPcdConnection(true)) << app.Status.LastErrorText;
    ASSERT_EQ(run.app.Connection().ReadPcdRegisters(10, 1), 0);
    EXPECT_EQ(run.app.Connection().PcdRegisterValues()[0], 4711);
    run.app.Connection().ClosePcdConnection("");
}

TEST_F(ChannelDialogTest, OpenedBySettingsWithoutPg5AndAsksBeforeDroppingChanges) {
    SettingsWindow w(t.app);
    bool opened = false;
    w.SetChannelDialog([&] { opened = true; });
    t.app.App().Status.PG5Available = 0;
    Click(&w, "cmdSettings");
    EXPECT_TRUE(opened);

    ChannelDialog d(t.app, nullptr, [] { return std::vector<std::string>{}; });
    d.show();
    Control<QLineEdit>(&d, "txbPort")->setText("/dev/ttyUSB7");
    t.ui.QueueAnswer(MsgAnswer::No);
    Click(&d, "cmdCancel");
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(t.ui.LastMessage()->Text, "Do you want to save settings changes");
    EXPECT_EQ(GetIniString(t.app.App().Settings.StartFile, "Connection", "Port"), "");
}

// Opening and looking changes nothing, whatever the configured port is.
TEST_F(ChannelDialogTest, TheConfiguredPortIsShownAsItIsAndOpeningChangesNothing) {
    auto& s = t.app.App().Settings;
    const std::vector<std::string> listed{"/dev/ttyUSB0",
                                          link}; // the first listed device is never swapped in
    for (const std::string& configured :
         {std::string(), std::string("udp:plc-7:5050"), t.dir.file("unplugged"), link}) {
        s.Port = configured;
        s.Baudrate = configured.empty() ? 57600 : 0;
        ChannelDialog d(t.app, nullptr, [&] { return listed; });
        d.show();
        auto* list = Control<QListWidget>(&d, "lstDevices");
        list->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(Control<QLineEdit>(&d, "txbPort")->text().toStdString(), configured);
        ASSERT_NE(list->currentItem(), nullptr);
        EXPECT_EQ(list->currentItem()->data(Qt::UserRole).toString().toStdString(), configured);
        EXPECT_EQ(Control<QComboBox>(&d, "cmbBaudrate")->currentText(),
                  configured.empty() ? "57600" : "9600");
        EXPECT_FALSE(d.Changed()) << configured;
        Click(&d, "cmdCancel");
        EXPECT_TRUE(t.ui.Messages().empty()) << configured;
    }
    EXPECT_EQ(ConfiguredPortCaption(t.dir.file("unplugged")),
              t.dir.file("unplugged") + " (not present)");
    EXPECT_EQ(ConfiguredPortCaption(link), link);
}

} // namespace
} // namespace pelkor
