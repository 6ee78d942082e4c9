/* A Windows host binding Pelsbus.dll by name: reads register 0 of station 5.
 * Usage: pelsbus-host [port name]   (default COM1; "udp:HOST:PORT" for UDP) */
#include <stdint.h>
#include <stdio.h>
#include <windows.h>

typedef int32_t(__stdcall *Fn0)(void);
typedef int32_t(__stdcall *Fn1)(int32_t);
typedef int32_t(__stdcall *FnName)(int32_t, const char *);
typedef int32_t(__stdcall *FnParam)(int32_t, int32_t, int32_t);
typedef int32_t(__stdcall *FnRead)(int16_t, int16_t, int32_t *);
#define BIND(type, name) ((type)(void (*)(void))GetProcAddress(dll, name))

int main(int argc, char **argv) {
    HMODULE dll = LoadLibraryA("Pelsbus.dll");
    if (!dll) { fprintf(stderr, "Pelsbus.dll not found\n"); return 2; }
    FnName setPortName = BIND(FnName, "PCDSetPortName");
    FnParam setParameter = BIND(FnParam, "PCDSetParameter");
    Fn0 open = BIND(Fn0, "PCDOpen"), close = BIND(Fn0, "PCDClose");
    Fn1 setStation = BIND(Fn1, "PCDSetStation");
    FnRead readRegister = BIND(FnRead, "PCDReadRegister");
    if (!setPortName || !setParameter || !open || !close || !setStation || !readRegister) return 2;
    if (argc > 1) setPortName(1, argv[1]);
    int32_t value = 0, rc = setParameter(1, 9600, 1);
    if (rc == 0) rc = open();
    if (rc == 0) { setStation(5); rc = readRegister(0, 1, &value); close(); }
    if (rc == 0) printf("R 0 = %d\n", (int)value); else fprintf(stderr, "result %d\n", (int)rc);
    FreeLibrary(dll);
    return rc == 0 ? 0 : 1;
}
