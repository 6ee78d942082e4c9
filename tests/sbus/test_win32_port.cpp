#ifdef _WIN32
// The Win32 serial port's own logic: device names, the DCB and time-out
// records it builds from the engine's settings, and an open that fails the
// way the engine reports.
#include "ScriptedPort.h"
#include "sbus/Win32SerialPort.h"

#include <gtest/gtest.h>

using namespace pelsbus;

TEST(Win32Port, DeviceNamesDcbAndTimeouts) {
    EXPECT_EQ(Win32DevicePath("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(Win32DevicePath("com12"), "\\\\.\\com12");
    EXPECT_EQ(Win32DevicePath("\\\\.\\COM1"), "\\\\.\\COM1");
    EXPECT_EQ(Win32DevicePath("COMX"), "COMX");

    DCB d{};
    d.XonLim = 77; // not the engine's: kept
    d.fOutX = d.fInX = TRUE;
    CommSettings s;
    s.baud = 19200;
    s.parity = Parity::Mark;
    s.rts = RtsControl::Toggle;
    ApplyToDcb(s, d);
    EXPECT_EQ(d.BaudRate, 19200u);
    EXPECT_EQ(d.Parity, MARKPARITY);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.StopBits, ONESTOPBIT);
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_FALSE(d.fOutX || d.fInX || d.fParity);
    EXPECT_EQ(d.XonLim, 77);
    for (Parity p : {Parity::None, Parity::Mark, Parity::Space})
        for (RtsControl r : {RtsControl::Disable, RtsControl::Enable, RtsControl::Toggle}) {
            s.parity = p;
            s.rts = r;
            s.stopBits = p == Parity::None ? 2 : 1;
            ApplyToDcb(s, d);
            const CommSettings back = FromDcb(d);
            EXPECT_TRUE(back.parity == p && back.rts == r && back.stopBits == s.stopBits &&
                        back.baud == s.baud);
        }

    const COMMTIMEOUTS t = ToCommTimeouts(CommTimeouts{});
    EXPECT_EQ(t.ReadIntervalTimeout, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 100u);
    // No total read time-out would wait for ever; "return at once" stays.
    EXPECT_EQ(ToCommTimeouts(CommTimeouts{5, 0, 0, 0, 0}).ReadTotalTimeoutConstant, 60000u);
    EXPECT_EQ(ToCommTimeouts(CommTimeouts{5, 0, 0, 0, 0}).WriteTotalTimeoutConstant, 60000u);
    EXPECT_EQ(ToCommTimeouts(CommTimeouts{MAXDWORD, 0, 0, 10, 100}).ReadTotalTimeoutConstant, 0u);
}

TEST(Win32Port, MissingComPortFailsTheOpenWithItsSystemError) {
    test::Log log;
    test::RecordingServices sv{log};
    Win32SerialPort port;
    Engine e{port, sv};
    ASSERT_EQ(e.SetParameter(1, 9600, 1), kOk);
    ASSERT_EQ(e.SetPortName(1, "COM200"), kOk);
    EXPECT_EQ(e.Open(), kPortError);
    EXPECT_FALSE(port.IsOpen());
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].rfind("Error: Cannot open the serial port. [2]", 0), 0u)
        << log.messages[0];
    int32_t v = 0;
    EXPECT_EQ(e.ReadValues(cmd::kReadRegister, 0, 1, &v), kNotOpen);
}
#endif // _WIN32
