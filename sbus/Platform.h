#pragma once
// What the library takes from the operating system, chosen when it is built:
// the serial port, sleeping and message boxes, the default device of a port.
// PosixPlatform.cpp and Win32Platform.cpp each provide these.

#include "sbus/SerialPort.h"

#include <memory>
#include <string>

namespace pelsbus {

std::unique_ptr<SerialPort> MakeSerialPort();
std::unique_ptr<Services> MakeServices();
// The n-th serial port of the machine: /dev/ttyS<n-1>, or COMn.
std::string DefaultPortDevice(int32_t port);
// strtod in the C locale: the decimal separator is a point whatever locale
// the host set.
double StrtodC(const char* text);

} // namespace pelsbus
