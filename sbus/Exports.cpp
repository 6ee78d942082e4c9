// The exported C functions: thin wrappers over the one process-wide Engine.
#include "sbus/Engine.h"
#include "sbus/PcdFloat.h"
#include "sbus/Pelsbus.h"
#include "sbus/Platform.h"

namespace {

// One state for the process; the port closes when the library unloads.
struct Library {
    std::unique_ptr<pelsbus::SerialPort> port = pelsbus::MakeSerialPort();
    std::unique_ptr<pelsbus::Services> services = pelsbus::MakeServices();
    pelsbus::Engine engine{*port, *services};
    ~Library() { engine.Close(); }
};

Library& Lib() {
    static Library lib;
    return lib;
}

pelsbus::Engine& E() {
    return Lib().engine;
}

} // namespace

extern "C" {

int32_t PELSBUS_CALL PCDGetVersion(void) {
    return 200;
}
int32_t PELSBUS_CALL PCDSetParameter(int32_t port, int32_t baud, int32_t protocol) {
    return E().SetParameter(port, baud, protocol);
}
int32_t PELSBUS_CALL PCDSetPortName(int32_t port, const char* name) {
    return E().SetPortName(port, name);
}
int32_t PELSBUS_CALL PCDOpen(void) {
    return E().Open();
}
int32_t PELSBUS_CALL PCDClose(void) {
    return E().Close();
}
int32_t PELSBUS_CALL PCDSetStation(int32_t station) {
    return E().State().station = station;
}
int32_t PELSBUS_CALL PCDSetRetries(int32_t retries) {
    return E().State().retries = retries;
}
int32_t PELSBUS_CALL PCDSetWaitTime1(int16_t ms) {
    return E().State().wait[0] = ms;
}
int32_t PELSBUS_CALL PCDSetWaitTime2(int16_t ms) {
    return E().State().wait[1] = ms;
}
int32_t PELSBUS_CALL PCDSetWaitTime3(int16_t ms) {
    return E().State().wait[2] = ms;
}
int32_t PELSBUS_CALL PCDSetWaitTime4(int16_t ms) {
    return E().State().wait[3] = ms;
}
int32_t PELSBUS_CALL PCDSetReadIntervalTimeout(int32_t ms) {
    E().State().timeouts.readInterval = static_cast<uint32_t>(ms);
    return ms;
}
int32_t PELSBUS_CALL PCDSetReadTimeoutMultiplier(int32_t ms) {
    E().State().timeouts.readMultiplier = static_cast<uint32_t>(ms);
    return ms;
}
int32_t PELSBUS_CALL PCDSetReadTimeoutConstant(int32_t ms) {
    E().State().timeouts.readConstant = static_cast<uint32_t>(ms);
    return ms;
}
int32_t PELSBUS_CALL PCDSetWriteTimeoutMultiplier(int32_t ms) {
    E().State().timeouts.writeMultiplier = static_cast<uint32_t>(ms);
    return ms;
}
int32_t PELSBUS_CALL PCDSetWriteTimeoutConstant(int32_t ms) {
    E().State().timeouts.writeConstant = static_cast<uint32_t>(ms);
    return ms;
}
int32_t PELSBUS_CALL PCDSetWin95(int32_t flag) {
    E().State().win95 = flag != 0;
    return flag;
}
void PELSBUS_CALL PCDNoMsg(void) {
    E().NoMsg();
}

int32_t PELSBUS_CALL PCDReadInput(int16_t address, int16_t count, int16_t* values) {
    return E().ReadBits(pelsbus::cmd::kReadInput, address, count, values);
}
int32_t PELSBUS_CALL PCDReadOutput(int16_t address, int16_t count, int16_t* values) {
    return E().ReadBits(pelsbus::cmd::kReadOutput, address, count, values);
}
int32_t PELSBUS_CALL PCDReadFlag(int16_t address, int16_t count, int16_t* values) {
    return E().ReadBits(pelsbus::cmd::kReadFlag, address, count, values);
}
int32_t PELSBUS_CALL PCDWriteOutput(int16_t address, int16_t count, const int16_t* values) {
    return E().WriteBits(pelsbus::cmd::kWriteOutput, address, count, values);
}
int32_t PELSBUS_CALL PCDWriteFlag(int16_t address, int16_t count, const int16_t* values) {
    return E().WriteBits(pelsbus::cmd::kWriteFlag, address, count, values);
}
int32_t PELSBUS_CALL PCDReadCounter(int16_t address, int16_t count, int32_t* values) {
    return E().ReadValues(pelsbus::cmd::kReadCounter, address, count, values);
}
int32_t PELSBUS_CALL PCDReadTimer(int16_t address, int16_t count, int32_t* values) {
    return E().ReadValues(pelsbus::cmd::kReadTimer, address, count, values);
}
int32_t PELSBUS_CALL PCDReadRegister(int16_t address, int16_t count, int32_t* values) {
    return E().ReadValues(pelsbus::cmd::kReadRegister, address, count, values);
}
int32_t PELSBUS_CALL PCDWriteCounter(int16_t address, int16_t count, const int32_t* values) {
    return E().WriteValues(pelsbus::cmd::kWriteCounter, address, count, values);
}
int32_t PELSBUS_CALL PCDWriteTimer(int16_t address, int16_t count, const int32_t* values) {
    return E().WriteValues(pelsbus::cmd::kWriteTimer, address, count, values);
}
int32_t PELSBUS_CALL PCDWriteRegister(int16_t address, int16_t count, const int32_t* values) {
    return E().WriteValues(pelsbus::cmd::kWriteRegister, address, count, values);
}

int32_t PELSBUS_CALL PcdRdDBItem(int16_t db, int16_t item, int16_t count, int32_t* values) {
    return E().ReadDbItems(db, item, count, values);
}
int32_t PELSBUS_CALL PcdWrDBItem(int16_t db, int16_t item, int16_t count, const int32_t* values) {
    return E().WriteDbItems(db, item, count, values);
}
int32_t PELSBUS_CALL PcdRdDBX(int16_t db, int16_t offset, int16_t count, uint8_t* bytes) {
    return E().ReadDbBytes(db, offset, count, bytes);
}
int32_t PELSBUS_CALL PcdRdBlockSize(char type, int16_t block, int16_t count, int32_t* sizes) {
    return E().ReadBlockSizes(type, block, count, sizes);
}
int32_t PELSBUS_CALL PcdRdStatus(int16_t cpu, int32_t* status) {
    return E().ReadStatus(cpu, status);
}
int32_t PELSBUS_CALL PCDReadClock(int32_t* clock8) {
    return E().ReadClock(clock8);
}

int32_t PELSBUS_CALL PCDFloatToLong(float value, int32_t) {
    return static_cast<int32_t>(pelsbus::IeeeToPcd(value));
}
float PELSBUS_CALL PCDLongToFloat(int32_t value, int32_t) {
    return pelsbus::PcdToIeee(static_cast<uint32_t>(value));
}
int32_t PELSBUS_CALL PCDFloatStringToLong(const char* text, int32_t* status) {
    int32_t st = 0;
    const uint32_t v = pelsbus::DecimalToPcd(text, st);
    if (status) *status = st;
    return static_cast<int32_t>(v);
}

} // extern "C"
