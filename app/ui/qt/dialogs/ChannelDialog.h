#pragma once
// Pelkor's own channel dialog ("Online Settings..." without PG5): the serial
// device and baud rate of the built-in library ([Connection] "Port",
// "Baudrate"), with a test that reads the common station's status.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QBoxLayout;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace pelkor {

class PelkorApp;

// The list entry of a configured port: as it is, "(not present)" for a
// device path that does not exist, a port-1 note for an empty one.
std::string ConfiguredPortCaption(const std::string& port);

class ChannelDialog : public QDialog {
    Q_OBJECT
public:
    // The devices offered; default ListSerialDevices() (nothing is opened).
    using DeviceLister = std::function<std::vector<std::string>()>;
    explicit ChannelDialog(PelkorApp& app, QWidget* parent = nullptr, DeviceLister devices = {});

    bool Changed() const { return changed_; }

public slots:
    void reject() override;

private:
    QGroupBox* BuildSerialBox(const DeviceLister& devices);
    void FillDevices(const DeviceLister& devices);
    // The configured port as it is, listed or not, so that opening the
    // dialog (or focusing its list) never swaps in another device.
    QListWidgetItem* ConfiguredItem(const std::string& port);
    QGroupBox* BuildTestBox();
    QBoxLayout* BuildButtons();
    void ConnectChanges();
    void Test();
    bool Save();
    int32_t Baudrate() const;

    PelkorApp& app_;
    bool changed_ = false;
    bool loading_ = false;
    std::string loadedPort_;
    int32_t loadedBaud_ = 0;
    QListWidget* devices_ = nullptr;
    QLineEdit* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QLabel* result_ = nullptr;
};

} // namespace pelkor
