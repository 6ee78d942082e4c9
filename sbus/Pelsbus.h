/*
 * Pelsbus: S-Bus for PCD controllers, over a serial line (parity mode) or UDP.
 *
 * Plain C exports with undecorated names, bound by name (dlopen/dlsym or
 * GetProcAddress).  One process-wide state: no handles.  Every call blocks
 * until its exchange is over; calls must not overlap.
 *
 * Result codes: 0 success, 1 NAK, 3 bad CRC, 4 bad response, 6 no response,
 * 9 port already open or cannot be opened/configured, 10 argument refused,
 * 35 parameters never set (PCDOpen) or port not open (data calls),
 * -1 command not supported, serial settings or port read failed.
 *
 * Port n (1..8) is the device named by PCDSetPortName, else by the environment
 * variable PELSBUS_COMn, else the n-th serial port of the machine.  See
 * docs/pelsbus.md.
 */
#ifndef PELSBUS_H
#define PELSBUS_H

#include <stdint.h>

#ifdef _WIN32
#ifdef PELSBUS_BUILD
#define PELSBUS_API __declspec(dllexport)
#else
#define PELSBUS_API
#endif
#define PELSBUS_CALL __stdcall
#else
#define PELSBUS_API __attribute__((visibility("default")))
#define PELSBUS_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Library state and settings */
PELSBUS_API int32_t PELSBUS_CALL PCDGetVersion(void);
PELSBUS_API int32_t PELSBUS_CALL PCDSetParameter(int32_t port, int32_t baud, int32_t protocol);
PELSBUS_API int32_t PELSBUS_CALL PCDSetPortName(int32_t port, const char* name);
PELSBUS_API int32_t PELSBUS_CALL PCDOpen(void);
PELSBUS_API int32_t PELSBUS_CALL PCDClose(void);
PELSBUS_API int32_t PELSBUS_CALL PCDSetStation(int32_t station);
PELSBUS_API int32_t PELSBUS_CALL PCDSetRetries(int32_t retries);
PELSBUS_API int32_t PELSBUS_CALL PCDSetWaitTime1(int16_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetWaitTime2(int16_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetWaitTime3(int16_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetWaitTime4(int16_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetReadIntervalTimeout(int32_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetReadTimeoutMultiplier(int32_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetReadTimeoutConstant(int32_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetWriteTimeoutMultiplier(int32_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetWriteTimeoutConstant(int32_t ms);
PELSBUS_API int32_t PELSBUS_CALL PCDSetWin95(int32_t flag);
PELSBUS_API void PELSBUS_CALL PCDNoMsg(void);

/* Bits: one int16_t per element (read: 0 or 1; write: nonzero = 1) */
PELSBUS_API int32_t PELSBUS_CALL PCDReadInput(int16_t address, int16_t count, int16_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDReadOutput(int16_t address, int16_t count, int16_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDReadFlag(int16_t address, int16_t count, int16_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDWriteOutput(int16_t address, int16_t count,
                                                const int16_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDWriteFlag(int16_t address, int16_t count,
                                              const int16_t* values);

/* 32-bit values */
PELSBUS_API int32_t PELSBUS_CALL PCDReadCounter(int16_t address, int16_t count, int32_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDReadTimer(int16_t address, int16_t count, int32_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDReadRegister(int16_t address, int16_t count, int32_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDWriteCounter(int16_t address, int16_t count,
                                                 const int32_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDWriteTimer(int16_t address, int16_t count,
                                               const int32_t* values);
PELSBUS_API int32_t PELSBUS_CALL PCDWriteRegister(int16_t address, int16_t count,
                                                  const int32_t* values);

/* Data blocks, block sizes, CPU status */
PELSBUS_API int32_t PELSBUS_CALL PcdRdDBItem(int16_t db, int16_t item, int16_t count,
                                             int32_t* values);
PELSBUS_API int32_t PELSBUS_CALL PcdWrDBItem(int16_t db, int16_t item, int16_t count,
                                             const int32_t* values);
PELSBUS_API int32_t PELSBUS_CALL PcdRdDBX(int16_t db, int16_t offset, int16_t count,
                                          uint8_t* bytes);
PELSBUS_API int32_t PELSBUS_CALL PcdRdBlockSize(char type, int16_t block, int16_t count,
                                                int32_t* sizes);
PELSBUS_API int32_t PELSBUS_CALL PcdRdStatus(int16_t cpu, int32_t* status);
/* Real time clock: week, day of week (1 = Monday), year (4 digits), month,
 * day, hour, minute, second */
PELSBUS_API int32_t PELSBUS_CALL PCDReadClock(int32_t* clock8);

/* PCD float <-> IEEE single (no port, no state) */
PELSBUS_API int32_t PELSBUS_CALL PCDFloatToLong(float value, int32_t unused);
PELSBUS_API float PELSBUS_CALL PCDLongToFloat(int32_t value, int32_t unused);
PELSBUS_API int32_t PELSBUS_CALL PCDFloatStringToLong(const char* text, int32_t* status);

#ifdef __cplusplus
}
#endif

#endif /* PELSBUS_H */
