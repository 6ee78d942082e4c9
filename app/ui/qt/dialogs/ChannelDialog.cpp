#include "ui/qt/dialogs/ChannelDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <sys/stat.h>

#include "application/PelkorApp.h"
#include "config/SettingsForm.h"
#include "pcd/PcdConnection.h"
#include "ui/qt/WidgetNames.h"
#include "util/SerialDevices.h"

namespace pelkor {

std::string ConfiguredPortCaption(const std::string& port) {
    if (port.empty()) return "(port 1: $PELSBUS_COM1, else /dev/ttyS0)";
    struct stat st {};
    if (port.front() == '/' && ::stat(port.c_str(), &st) != 0) return port + " (not present)";
    return port;
}

ChannelDialog::ChannelDialog(PelkorApp& app, QWidget* parent, DeviceLister devices)
    : QDialog(parent), app_(app) {
    setObjectName("frmChannel");
    setWindowTitle("Pelkor Online Settings");
    setModal(true);
    loading_ = true;
    QGroupBox* serial = BuildSerialBox(devices);
    QGroupBox* test = BuildTestBox();
    QBoxLayout* buttons = BuildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(serial, 1);
    layout->addWidget(test);
    layout->addLayout(buttons);
    resize(560, 400);
    ConnectChanges();
    loading_ = false;
}

QGroupBox* ChannelDialog::BuildSerialBox(const DeviceLister& devices) {
    const AppSettings& s = app_.App().Settings;
    // One box per kind of channel, so others can sit beside the serial one.
    auto* serial = Named(new QGroupBox("Serial port", this), "fmeSerial");
    auto* lblDevices = Named(new QLabel("Devices found:", serial), "lblDevices");
    devices_ = Named(new QListWidget(serial), "lstDevices");
    lblDevices->setBuddy(devices_);
    FillDevices(devices);
    QListWidgetItem* configured = ConfiguredItem(s.Port);
    auto* lblPort = Named(new QLabel("Port :", serial), "lblPort");
    port_ = Named(new QLineEdit(Q(s.Port), serial), "txbPort");
    port_->setPlaceholderText("port 1 ($PELSBUS_COM1, else /dev/ttyS0)");
    port_->setCursorPosition(0); // long by-id names: show their start
    lblPort->setBuddy(port_);
    auto* lblBaud = Named(new QLabel("Baud rate :", serial), "lblBaudrate");
    baud_ = Named(new QComboBox(serial), "cmbBaudrate");
    lblBaud->setBuddy(baud_);
    for (int rate : BuiltInBaudrates())
        baud_->addItem(QString::number(rate), rate);
    const int rate = s.Baudrate > 0 ? s.Baudrate : 9600;
    // A rate the library lacks stays as configured; its connect says why.
    if (baud_->findData(rate) < 0) baud_->addItem(QString::number(rate), rate);
    baud_->setCurrentIndex(baud_->findData(rate));
    auto* grid = new QGridLayout(serial);
    grid->addWidget(lblDevices, 0, 0, 1, 2);
    grid->addWidget(devices_, 1, 0, 1, 2);
    grid->addWidget(lblPort, 2, 0);
    grid->addWidget(port_, 2, 1);
    grid->addWidget(lblBaud, 3, 0);
    grid->addWidget(baud_, 3, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    devices_->setCurrentItem(configured);
    loadedPort_ = s.Port;
    loadedBaud_ = Baudrate();
    return serial;
}

void ChannelDialog::FillDevices(const DeviceLister& devices) {
    for (const std::string& d : devices ? devices() : ListSerialDevices()) {
        auto* item = new QListWidgetItem(Q(d), devices_);
        item->setData(Qt::UserRole, Q(d));
    }
    if (devices_->count() == 0) {
        auto* none = new QListWidgetItem("(no serial device found)", devices_);
        none->setFlags(Qt::NoItemFlags);
    }
}

QListWidgetItem* ChannelDialog::ConfiguredItem(const std::string& port) {
    QListWidgetItem* configured = nullptr;
    for (int i = 0; i < devices_->count() && !configured; ++i)
        if (devices_->item(i)->data(Qt::UserRole).toString() == Q(port) &&
            devices_->item(i)->flags() != Qt::NoItemFlags)
            configured = devices_->item(i);
    if (!configured) configured = new QListWidgetItem(Q(ConfiguredPortCaption(port)), devices_);
    configured->setData(Qt::UserRole, Q(port));
    return configured;
}

QGroupBox* ChannelDialog::BuildTestBox() {
    const AppSettings& s = app_.App().Settings;
    auto* test = Named(new QGroupBox("Test", this), "fmeTest");
    auto* cmdTest = Named(new QPushButton("Test", test), "cmdTest");
    auto* lblStation =
        Named(new QLabel("Reads the status of station " + QString::number(s.Station) + ".", test),
              "lblStation");
    result_ = Named(new QLabel(test), "lblResult");
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    result_->setAccessibleDescription("Test result"); // its text is what a screen reader reads
    auto* testLayout = new QGridLayout(test);
    testLayout->addWidget(cmdTest, 0, 0);
    testLayout->addWidget(lblStation, 0, 1);
    testLayout->addWidget(result_, 1, 0, 1, 2);
    testLayout->setColumnStretch(1, 1);
    connect(cmdTest, &QPushButton::clicked, this, &ChannelDialog::Test);
    return test;
}

QBoxLayout* ChannelDialog::BuildButtons() {
    auto* ok = Named(new QPushButton("Save", this), "OKButton");
    auto* cancel = Named(new QPushButton("Close", this), "cmdCancel");
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (Save()) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &ChannelDialog::reject);
    return buttons;
}

void ChannelDialog::ConnectChanges() {
    connect(devices_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (loading_ || !item || item->flags() == Qt::NoItemFlags) return;
        port_->setText(item->data(Qt::UserRole).toString());
        port_->setCursorPosition(0);
    });
    // A change is what differs from the start file, so moving back undoes it.
    auto compare = [this] {
        if (!loading_)
            changed_ =
                port_->text().trimmed().toStdString() != loadedPort_ || Baudrate() != loadedBaud_;
    };
    connect(port_, &QLineEdit::textChanged, this, compare);
    connect(baud_, qOverload<int>(&QComboBox::currentIndexChanged), this, compare);
}

int32_t ChannelDialog::Baudrate() const {
    return baud_->currentData().toInt();
}

void ChannelDialog::Test() {
    result_->setText("Testing ...");
    result_->setStyleSheet({});
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string text;
    const int32_t code = app_.Connection().TestPcdDllChannel(
        port_->text().trimmed().toStdString(), Baudrate(), app_.App().Settings.Station, text);
    QApplication::restoreOverrideCursor();
    result_->setText(Q(text));
    result_->setStyleSheet(code == 0 ? "color: blue" : "color: red");
}

bool ChannelDialog::Save() {
    AppContext& ctx = app_.App();
    if (!SaveChannelSettings(ctx, port_->text().toStdString(), Baudrate())) return false;
    changed_ = false;
    loadedPort_ = ctx.Settings.Port;
    loadedBaud_ = ctx.Settings.Baudrate;
    if (ctx.Status.Connected) {
        app_.Connection().ClosePcdConnection("");
        app_.Connection().OpenPcdConnection(true);
    }
    return true;
}

void ChannelDialog::reject() {
    if (changed_) {
        const MsgAnswer a =
            app_.App().Ui.MessageBox("Do you want to save settings changes", "Pelkor",
                                     MsgIcon::Question, MsgButtons::YesNoCancel, MsgAnswer::Yes);
        if (a == MsgAnswer::Cancel) return;
        if (a == MsgAnswer::Yes) Save();
    }
    QDialog::reject();
}

} // namespace pelkor
