/*
 * pelsbus-demo: binds libPelsbus.so by name, reads a few registers, flags and
 * the CPU status of one station and prints them.
 *
 *   PELSBUS_COM1=/path/to/port pelsbus-demo [station] [rounds]
 *
 * The library is looked for beside this program first, then on the system's
 * library path.
 */
#include <dlfcn.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int32_t (*Fn0)(void);
typedef void (*FnVoid)(void);
typedef int32_t (*Fn1)(int32_t);
typedef int32_t (*Fn3)(int32_t, int32_t, int32_t);
typedef int32_t (*ReadBits)(int16_t, int16_t, int16_t*);
typedef int32_t (*ReadValues)(int16_t, int16_t, int32_t*);
typedef int32_t (*ReadStatus)(int16_t, int32_t*);
typedef float (*LongToFloat)(int32_t, int32_t);

static void* Bind(void* lib, const char* name) {
    void* f = dlsym(lib, name);
    if (!f) {
        fprintf(stderr, "pelsbus-demo: libPelsbus.so has no %s\n", name);
        exit(1);
    }
    return f;
}

static void* LoadLibrary(void) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 32);
    if (n > 0) {
        self[n] = '\0';
        char* slash = strrchr(self, '/');
        if (slash) {
            strcpy(slash + 1, "libPelsbus.so");
            void* lib = dlopen(self, RTLD_NOW | RTLD_LOCAL);
            if (lib) return lib;
        }
    }
    return dlopen("libPelsbus.so", RTLD_NOW | RTLD_LOCAL);
}

static const char* StatusText(int32_t s) {
    switch (s) {
    case 1: return "Disconnected";
    case 2: return "Run";
    case 3: return "Stop";
    case 4: return "Halt";
    case 5: return "Conditional run";
    case 9: return "Break";
    default: return "unknown";
    }
}

int main(int argc, char** argv) {
    int station = argc > 1 ? atoi(argv[1]) : 0;
    int rounds = argc > 2 ? atoi(argv[2]) : 3;
    void* lib = LoadLibrary();
    if (!lib) {
        fprintf(stderr, "pelsbus-demo: cannot load libPelsbus.so: %s\n", dlerror());
        return 1;
    }
    Fn0 getVersion = (Fn0)Bind(lib, "PCDGetVersion");
    Fn3 setParameter = (Fn3)Bind(lib, "PCDSetParameter");
    FnVoid noMsg = (FnVoid)Bind(lib, "PCDNoMsg");
    Fn0 open = (Fn0)Bind(lib, "PCDOpen");
    Fn0 close = (Fn0)Bind(lib, "PCDClose");
    Fn1 setStation = (Fn1)Bind(lib, "PCDSetStation");
    ReadValues readRegister = (ReadValues)Bind(lib, "PCDReadRegister");
    ReadBits readFlag = (ReadBits)Bind(lib, "PCDReadFlag");
    ReadStatus readStatus = (ReadStatus)Bind(lib, "PcdRdStatus");
    LongToFloat longToFloat = (LongToFloat)Bind(lib, "PCDLongToFloat");

    printf("Pelsbus version %d\n", getVersion());
    int32_t rc = setParameter(1, 9600, 1);
    if (rc == 0) {
        noMsg();
        rc = open();
    }
    if (rc != 0) {
        fprintf(stderr, "pelsbus-demo: cannot open port 1 (code %d); set PELSBUS_COM1\n", rc);
        return 1;
    }
    setStation(station);
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        int32_t status = 0;
        int32_t regs[4] = {0};
        int16_t flags[8] = {0};
        printf("-- station %d, reading %d\n", station, round);
        rc = readStatus(0, &status);
        if (rc == 0) printf("status      %d (%s)\n", status, StatusText(status));
        else printf("status      failed, code %d\n", rc), ++failures;
        rc = readRegister(0, 4, regs);
        if (rc == 0)
            printf("R 0..3      %d %d %d %d  (R 3 as PCD float: %g)\n", regs[0], regs[1], regs[2], regs[3],
                   longToFloat(regs[3], 0));
        else printf("R 0..3      failed, code %d\n", rc), ++failures;
        rc = readFlag(0, 8, flags);
        if (rc == 0) {
            printf("F 0..7      ");
            for (int i = 0; i < 8; ++i) printf("%d", flags[i]);
            printf("\n");
        } else printf("F 0..7      failed, code %d\n", rc), ++failures;
        if (round < rounds) sleep(1);
    }
    close();
    dlclose(lib);
    return failures == 0 ? 0 : 1;
}
