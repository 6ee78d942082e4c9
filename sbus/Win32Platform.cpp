#ifdef _WIN32
#include "sbus/Platform.h"
#include "sbus/Win32SerialPort.h"

#include <cstdlib>
#include <locale.h>

namespace pelsbus {

namespace {

class Win32Services final : public Services {
public:
    void Sleep(int32_t ms) override { ::Sleep(static_cast<DWORD>(ms)); }
    void ShowError(const char* text) override {
        MessageBoxA(nullptr, text, "ERROR", MB_OK | MB_ICONERROR);
    }
};

} // namespace

std::unique_ptr<SerialPort> MakeSerialPort() {
    return std::make_unique<Win32SerialPort>();
}
std::unique_ptr<Services> MakeServices() {
    return std::make_unique<Win32Services>();
}
std::string DefaultPortDevice(int32_t port) {
    return "COM" + std::to_string(port);
}

double StrtodC(const char* text) {
    static const _locale_t c = _create_locale(LC_ALL, "C");
    return c ? _strtod_l(text, nullptr, c) : std::strtod(text, nullptr);
}

} // namespace pelsbus
#endif // _WIN32
