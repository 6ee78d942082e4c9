#pragma once
// Pelkor's own dialog for the start file's [MQTT] section: broker, topic
// prefix, user, password file and CA file, with a "Test" that connects and
// publishes one status message. The test runs off the GUI thread.

#include <QDialog>
#include <memory>
#include <thread>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pelkor {

class PelkorApp;

class MqttDialog : public QDialog {
    Q_OBJECT
public:
    explicit MqttDialog(PelkorApp& app, QWidget* parent = nullptr);
    ~MqttDialog() override;

    bool Changed() const { return changed_; }
    // Whether a "Test" is still under way (tests wait for its end).
    bool Testing() const { return testing_; }

public slots:
    void reject() override;

private:
    void Test();
    void TestDone(bool ok, const QString& text);
    bool Save();
    QLineEdit* Field(const char* name, const QString& text, const QString& placeholder);

    PelkorApp& app_;
    bool changed_ = false;
    bool loading_ = false;
    bool testing_ = false;
    QLineEdit* broker_ = nullptr;
    QLineEdit* prefix_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* caFile_ = nullptr;
    QPushButton* test_ = nullptr;
    QLabel* result_ = nullptr;
    std::thread worker_;
};

} // namespace pelkor
