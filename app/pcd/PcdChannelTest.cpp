// "Test" of Pelkor's own channel dialog: one open and status read through
// the built-in library on a device that is not (yet) the configured one.

#include "pcd/PcdConnection.h"
#include "pcd/ResultTexts.h"
#include "util/SerialDevices.h"

namespace pelkor {

namespace {

std::string StatusLetter(int32_t status) {
    switch (status) {
    case 1:
        return "D";
    case 2:
        return "R";
    case 3:
        return "S";
    case 4:
        return "H";
    case 5:
        return "C";
    case 9:
        return "B";
    default:
        return "?";
    }
}

} // namespace

int32_t PcdConnection::TestPcdDllChannel(const std::string& device, int32_t baud, int16_t station,
                                         std::string& text) {
    // The library has one port state: the live connection gives it up for
    // the test and gets it back afterwards.
    const bool wasConnected = app_.Status.Connected != 0;
    if (wasConnected) ClosePcdConnection("");
    int32_t code = 0;
    int32_t status = 0;
    try {
        NamePcdDllPort(device);
        sbus_.PCDClose();
        code = sbus_.PCDSetParameter(app_.Settings.COM, baud > 0 ? baud : 9600, 1);
        if (code <= 0) {
            sbus_.PCDNoMsg();
            code = sbus_.PCDOpen();
            if (code == 0) {
                sbus_.PCDSetStation(station);
                const int32_t read = sbus_.PcdRdStatus(0, &status);
                code = read > 0 ? read + DataCodeShift : read < 0 ? FailedPortCode : 0;
            }
        }
        sbus_.PCDClose();
        NamePcdDllPort(app_.Settings.Port);
    } catch (const std::exception& e) {
        code = -1;
        text = e.what();
    }
    if (code == 0) {
        text = "OK : station " + std::to_string(station) + " answered, PCD status " +
               std::to_string(status) + " (" + StatusLetter(status) + ")";
    } else if (code > 0) {
        text = PcdDllText(code);
        const std::string hint = SerialAccessHint(ChannelDevice(device, app_.Settings.COM));
        if (!hint.empty()) text += "\n" + hint;
    }
    resultCode_ = code;
    if (wasConnected) OpenPcdConnection(true);
    return code;
}

} // namespace pelkor
