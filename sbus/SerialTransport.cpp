#include "sbus/SerialTransport.h"

#include <cstdio>
#include <cstring>

namespace pelsbus {

int32_t SerialTransport::Open(const std::string& device) {
    const Settings& s = link_.s;
    int err = 0;
    if (!port_.Open(device, err)) {
        char text[160];
        std::snprintf(
            text, sizeof text,
            "Error: Cannot open the serial port. [%d]\nThe port does not exist or another \n"
            "application use the port.",
            err);
        link_.Message(text);
        return kPortError;
    }
    if (!port_.GetSettings(dcb_)) {
        link_.Message("Error: GetCommState");
        port_.Close();
        return kPortError;
    }
    dcb_.baud = static_cast<uint32_t>(s.baud);
    dcb_.dataBits = 8;
    dcb_.parity = Parity::Space;
    dcb_.stopBits = 1;
    dcb_.binary = true;
    dcb_.parityCheck = false;
    dcb_.ctsFlow = false;
    dcb_.dtr = DtrControl::Disable;
    dcb_.rts = s.win95 ? RtsControl::Enable : RtsControl::Toggle;
    if (!port_.SetSettings(dcb_)) {
        link_.Message("Error: SetCommState");
        port_.Close();
        return kPortError;
    }
    port_.SetTimeouts(s.timeouts);
    return kOk;
}

void SerialTransport::RaiseRts() {
    if (!link_.s.win95) return;
    port_.SetRts(true);
    dcb_.rts = RtsControl::Enable;
}

void SerialTransport::LowerRts() {
    if (!link_.s.win95) return;
    link_.Wait(8);
    port_.SetRts(false);
    dcb_.rts = RtsControl::Disable;
}

Outcome SerialTransport::Exchange(const Attempt& a) {
    const int32_t* wait = link_.s.wait;
    port_.Discard();
    RaiseRts();
    if (!a.write) link_.Wait(wait[0]);
    dcb_.parity = Parity::Mark;
    if (!port_.SetSettings(dcb_)) {
        if (a.write) link_.Message("Error: SetCommState");
        return Outcome::Failed;
    }
    if (a.write) port_.Drain();
    link_.Wait(wait[0]);
    port_.Write(&a.station, 1);
    port_.Drain();
    uint16_t crc = SbusCrc16(crc_, 0, &a.station, 1);
    link_.Wait(wait[1]);
    dcb_.parity = Parity::Space;
    if (!port_.SetSettings(dcb_)) return Outcome::Failed;
    link_.Wait(wait[2]);
    uint8_t rest[kMaxBody + 2];
    const size_t length = a.length > kMaxBody ? kMaxBody : a.length;
    std::memcpy(rest, a.body, length);
    crc = SbusCrc16(crc_, crc, rest, length);
    rest[length] = static_cast<uint8_t>(crc >> 8);
    rest[length + 1] = static_cast<uint8_t>(crc);
    port_.Write(rest, length + 2);
    port_.Drain();
    LowerRts();

    if (a.write) {
        uint8_t b = 0;
        size_t got = 0;
        if (!port_.Read(&b, 1, got)) {
            link_.Message("Error: ReadFile");
            return Outcome::Failed;
        }
        if (got == 0) return Outcome::Nothing;
        if (b == kAck) return Outcome::Ack;
        return b == kNakByte ? Outcome::Nak : Outcome::Other;
    }
    uint8_t answer[kMaxAnswer + 2];
    const size_t want = (a.expected > kMaxAnswer ? kMaxAnswer : a.expected) + 2;
    size_t got = 0;
    if (!port_.Read(answer, want, got)) {
        link_.Message("Error: ReadFile");
        return Outcome::Failed;
    }
    if (got == want) {
        const size_t data = want - 2;
        const uint16_t c = SbusCrc16(crc_, 0, answer, data);
        if (answer[data] != static_cast<uint8_t>(c >> 8) ||
            answer[data + 1] != static_cast<uint8_t>(c))
            return Outcome::BadCrc;
        std::memcpy(a.data, answer, data);
        return Outcome::Answer;
    }
    if (got == 1 && answer[0] == kNakByte) return Outcome::Nak;
    return got == 0 ? Outcome::Nothing : Outcome::WrongLength;
}

} // namespace pelsbus
