#include "ui/qt/dialogs/MqttDialog.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "application/PelkorApp.h"
#include "config/MqttSettings.h"
#include "config/SettingsForm.h"
#include "config/StartFile.h"
#include "mqtt/MqttClient.h"
#include "ui/qt/WidgetNames.h"
#include "util/Text.h"

namespace pelkor {

namespace {
constexpr double TestSeconds = 5;
}

QLineEdit* MqttDialog::Field(const char* name, const QString& text, const QString& placeholder) {
    auto* edit = Named(new QLineEdit(text, this), name);
    edit->setPlaceholderText(placeholder);
    connect(edit, &QLineEdit::textChanged, this, [this] {
        if (!loading_) changed_ = true;
    });
    return edit;
}

MqttDialog::MqttDialog(PelkorApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("frmMqtt");
    setWindowTitle("Pelkor MQTT");
    setModal(true);
    loading_ = true;
    const std::string& file = app_.App().Settings.StartFile;
    const MqttSettings s = ReadMqttSettings(file);
    const std::string stem = MqttFileStem(file);

    auto* box = Named(new QGroupBox("Broker", this), "fmeBroker");
    auto* form = new QFormLayout(box);
    broker_ =
        Field("txbBroker", Q(s.Broker), "mqtt://host[:port] or mqtts://host[:port]; empty = off");
    // The default prefix stays a default: it follows a renamed start file.
    prefix_ = Field("txbTopicPrefix", Q(Trim(GetIniString(file, "MQTT", "TopicPrefix"))),
                    Q("pelkor/" + stem));
    user_ = Field("txbUser", Q(s.User), "none");
    password_ = Field("txbPasswordFile", Q(s.PasswordFile), "a file only you may read");
    caFile_ = Field("txbCAFile", Q(s.CAFile), "the system's certificates");
    const std::pair<const char*, QLineEdit*> rows[] = {{"Broker :", broker_},
                                                       {"Topic prefix :", prefix_},
                                                       {"User :", user_},
                                                       {"Password file :", password_},
                                                       {"TLS CA file :", caFile_}};
    for (const auto& [caption, edit] : rows) {
        auto* label = new QLabel(caption, box);
        label->setObjectName("lbl" + edit->objectName().mid(3));
        label->setBuddy(edit);
        edit->setAccessibleName(QString(caption).remove(" :"));
        form->addRow(label, edit);
    }

    test_ = Named(new QPushButton("Test", this), "cmdTest");
    test_->setAutoDefault(false);
    result_ = Named(new QLabel(this), "lblResult");
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    result_->setAccessibleName("Test result");
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(test_);
    testRow->addWidget(result_, 1);

    auto* ok = Named(new QPushButton("Save", this), "OKButton");
    auto* cancel = Named(new QPushButton("Close", this), "cmdCancel");
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    ok->setEnabled(SettingsEditable(app_.App()));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(testRow);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(560, 300);

    connect(test_, &QPushButton::clicked, this, &MqttDialog::Test);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (Save()) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &MqttDialog::reject);
    loading_ = false;
}

MqttDialog::~MqttDialog() {
    // The test is bounded in time; its answer goes nowhere once we are gone.
    if (worker_.joinable()) worker_.join();
}

void MqttDialog::Test() {
    if (testing_) return;
    MqttSettings s = ReadMqttSettings(app_.App().Settings.StartFile);
    s.Broker = broker_->text().trimmed().toStdString();
    if (!prefix_->text().trimmed().isEmpty())
        s.TopicPrefix = prefix_->text().trimmed().toStdString();
    s.User = user_->text().trimmed().toStdString();
    s.PasswordFile = password_->text().trimmed().toStdString();
    s.CAFile = caFile_->text().trimmed().toStdString();
    s.ClientId += "-test";
    if (worker_.joinable()) worker_.join();
    testing_ = true;
    test_->setEnabled(false);
    result_->setStyleSheet({});
    result_->setText("Testing ...");
    QPointer<MqttDialog> self(this);
    worker_ = std::thread([self, s] {
        std::string text;
        const bool ok = TestMqttConnection(s, TestSeconds, text);
        const QString answer = Q(text);
        QMetaObject::invokeMethod(
            qApp,
            [self, ok, answer] {
                if (self) self->TestDone(ok, answer);
            },
            Qt::QueuedConnection);
    });
}

void MqttDialog::TestDone(bool ok, const QString& text) {
    testing_ = false;
    test_->setEnabled(true);
    result_->setText(text);
    result_->setStyleSheet(ok ? "color: blue" : "color: red");
}

bool MqttDialog::Save() {
    AppContext& ctx = app_.App();
    MqttSettings s;
    s.Broker = broker_->text().trimmed().toStdString();
    s.TopicPrefix = prefix_->text().trimmed().toStdString();
    s.User = user_->text().trimmed().toStdString();
    s.PasswordFile = password_->text().trimmed().toStdString();
    s.CAFile = caFile_->text().trimmed().toStdString();
    MqttAddress address;
    std::string error;
    if (!s.Broker.empty() && !ParseMqttBroker(s.Broker, address, error)) {
        ctx.Ui.MessageBox("Bad broker address : " + error, "Pelkor", MsgIcon::Exclamation,
                          MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    if (!WriteMqttSettings(ctx.Settings.StartFile, s, error)) {
        ctx.Ui.MessageBox("MQTT settings writing aborted in the file : " + ctx.Settings.StartFile +
                              "\r" + error,
                          "Pelkor", MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    changed_ = false;
    app_.RestartMqtt();
    return true;
}

void MqttDialog::reject() {
    if (changed_) {
        const MsgAnswer a =
            app_.App().Ui.MessageBox("Do you want to save settings changes", "Pelkor",
                                     MsgIcon::Question, MsgButtons::YesNoCancel, MsgAnswer::Yes);
        if (a == MsgAnswer::Cancel) return;
        if (a == MsgAnswer::Yes && !Save()) return;
    }
    QDialog::reject();
}

} // namespace pelkor
