#pragma once
// Every Pelsbus export bound by name from libPelsbus.so, as a host does it.

#include <cstdint>
#include <dlfcn.h>
#include <string>
#include <type_traits>
#include <unistd.h>

namespace pelsbus::test {

struct PelsbusApi {
    void* handle = nullptr;
    std::string error;

    int32_t (*PCDGetVersion)();
    int32_t (*PCDSetParameter)(int32_t, int32_t, int32_t);
    int32_t (*PCDSetPortName)(int32_t, const char*);
    int32_t (*PCDOpen)();
    int32_t (*PCDClose)();
    int32_t (*PCDSetStation)(int32_t);
    int32_t (*PCDSetRetries)(int32_t);
    int32_t (*PCDSetWaitTime1)(int16_t);
    int32_t (*PCDSetWaitTime2)(int16_t);
    int32_t (*PCDSetWaitTime3)(int16_t);
    int32_t (*PCDSetWaitTime4)(int16_t);
    int32_t (*PCDSetReadIntervalTimeout)(int32_t);
    int32_t (*PCDSetReadTimeoutMultiplier)(int32_t);
    int32_t (*PCDSetReadTimeoutConstant)(int32_t);
    int32_t (*PCDSetWriteTimeoutMultiplier)(int32_t);
    int32_t (*PCDSetWriteTimeoutConstant)(int32_t);
    int32_t (*PCDSetWin95)(int32_t);
    void (*PCDNoMsg)();
    int32_t (*PCDReadInput)(int16_t, int16_t, int16_t*);
    int32_t (*PCDReadOutput)(int16_t, int16_t, int16_t*);
    int32_t (*PCDReadFlag)(int16_t, int16_t, int16_t*);
    int32_t (*PCDWriteOutput)(int16_t, int16_t, const int16_t*);
    int32_t (*PCDWriteFlag)(int16_t, int16_t, const int16_t*);
    int32_t (*PCDReadCounter)(int16_t, int16_t, int32_t*);
    int32_t (*PCDReadTimer)(int16_t, int16_t, int32_t*);
    int32_t (*PCDReadRegister)(int16_t, int16_t, int32_t*);
    int32_t (*PCDWriteCounter)(int16_t, int16_t, const int32_t*);
    int32_t (*PCDWriteTimer)(int16_t, int16_t, const int32_t*);
    int32_t (*PCDWriteRegister)(int16_t, int16_t, const int32_t*);
    int32_t (*PcdRdDBItem)(int16_t, int16_t, int16_t, int32_t*);
    int32_t (*PcdWrDBItem)(int16_t, int16_t, int16_t, const int32_t*);
    int32_t (*PcdRdDBX)(int16_t, int16_t, int16_t, uint8_t*);
    int32_t (*PcdRdBlockSize)(char, int16_t, int16_t, int32_t*);
    int32_t (*PcdRdStatus)(int16_t, int32_t*);
    int32_t (*PCDReadClock)(int32_t*);
    int32_t (*PCDFloatToLong)(float, int32_t);
    float (*PCDLongToFloat)(int32_t, int32_t);
    int32_t (*PCDFloatStringToLong)(const char*, int32_t*);

    // Loads the library by name (a fresh copy: state starts as after load).
    bool Load() {
        handle = dlopen("libPelsbus.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            // The sanitizers' dlopen hides this program's run path; then
            // take the library from the program's own folder, as hosts do.
            error = dlerror();
            char self[4096];
            const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
            if (n > 0) {
                std::string path(self, static_cast<size_t>(n));
                path = path.substr(0, path.rfind('/') + 1) + "libPelsbus.so";
                handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            }
            if (!handle) return false;
            error.clear();
        }
        bool ok = true;
        auto bind = [&](auto& fn, const char* name) {
            void* p = dlsym(handle, name);
            if (!p) {
                error += std::string(error.empty() ? "" : ", ") + "missing " + name;
                ok = false;
            }
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
        };
#define PELSBUS_BIND(n) bind(n, #n)
        PELSBUS_BIND(PCDGetVersion);
        PELSBUS_BIND(PCDSetParameter);
        PELSBUS_BIND(PCDSetPortName);
        PELSBUS_BIND(PCDOpen);
        PELSBUS_BIND(PCDClose);
        PELSBUS_BIND(PCDSetStation);
        PELSBUS_BIND(PCDSetRetries);
        PELSBUS_BIND(PCDSetWaitTime1);
        PELSBUS_BIND(PCDSetWaitTime2);
        PELSBUS_BIND(PCDSetWaitTime3);
        PELSBUS_BIND(PCDSetWaitTime4);
        PELSBUS_BIND(PCDSetReadIntervalTimeout);
        PELSBUS_BIND(PCDSetReadTimeoutMultiplier);
        PELSBUS_BIND(PCDSetReadTimeoutConstant);
        PELSBUS_BIND(PCDSetWriteTimeoutMultiplier);
        PELSBUS_BIND(PCDSetWriteTimeoutConstant);
        PELSBUS_BIND(PCDSetWin95);
        PELSBUS_BIND(PCDNoMsg);
        PELSBUS_BIND(PCDReadInput);
        PELSBUS_BIND(PCDReadOutput);
        PELSBUS_BIND(PCDReadFlag);
        PELSBUS_BIND(PCDWriteOutput);
        PELSBUS_BIND(PCDWriteFlag);
        PELSBUS_BIND(PCDReadCounter);
        PELSBUS_BIND(PCDReadTimer);
        PELSBUS_BIND(PCDReadRegister);
        PELSBUS_BIND(PCDWriteCounter);
        PELSBUS_BIND(PCDWriteTimer);
        PELSBUS_BIND(PCDWriteRegister);
        PELSBUS_BIND(PcdRdDBItem);
        PELSBUS_BIND(PcdWrDBItem);
        PELSBUS_BIND(PcdRdDBX);
        PELSBUS_BIND(PcdRdBlockSize);
        PELSBUS_BIND(PcdRdStatus);
        PELSBUS_BIND(PCDReadClock);
        PELSBUS_BIND(PCDFloatToLong);
        PELSBUS_BIND(PCDLongToFloat);
        PELSBUS_BIND(PCDFloatStringToLong);
#undef PELSBUS_BIND
        return ok;
    }
    void Unload() {
        if (handle) dlclose(handle);
        handle = nullptr;
    }
};

} // namespace pelsbus::test
