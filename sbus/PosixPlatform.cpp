#include "sbus/Platform.h"
#include "sbus/PosixSerialPort.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <locale.h>

namespace pelsbus {

namespace {

class PosixServices final : public Services {
public:
    void Sleep(int32_t ms) override {
        timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
    // Message boxes of the library become lines on standard error.
    void ShowError(const char* text) override {
        std::fprintf(stderr, "ERROR: %s\n", text);
        std::fflush(stderr);
    }
};

} // namespace

std::unique_ptr<SerialPort> MakeSerialPort() {
    return std::make_unique<PosixSerialPort>();
}
std::unique_ptr<Services> MakeServices() {
    return std::make_unique<PosixServices>();
}
std::string DefaultPortDevice(int32_t port) {
    return "/dev/tty" + std::string("S") + std::to_string(port - 1);
}

double StrtodC(const char* text) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return c ? strtod_l(text, nullptr, c) : std::strtod(text, nullptr);
}

} // namespace pelsbus
