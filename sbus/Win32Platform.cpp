#ifdef _WIN32
#include "sbus/Platform.h"
#include "sbus/Win32SerialPort.h"

namespace pelsbus {

namespace {

class Win32Services final : public Services {
public:
    void Sleep(int32_t ms) override { ::Sleep(static_cast<DWORD>(ms)); }
    void ShowError(const char* text) override { MessageBoxA(nullptr, text, "ERROR", MB_OK | MB_ICONERROR); }
};

} // namespace

std::unique_ptr<SerialPort> MakeSerialPort() { return std::make_unique<Win32SerialPort>(); }
std::unique_ptr<Services> MakeServices() { return std::make_unique<Win32Services>(); }
std::string DefaultPortDevice(int32_t port) { return "COM" + std::to_string(port); }

} // namespace pelsbus
#endif // _WIN32
