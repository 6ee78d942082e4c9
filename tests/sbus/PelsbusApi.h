#pragma once
// Every Pelsbus export bound by name from libPelsbus.so (Pelsbus.dll on
// Windows), as a host does it.

#include "sbus/Pelsbus.h"

#include <cstdint>
#include <string>
#include <type_traits>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace pelsbus::test {

struct PelsbusApi {
    void* handle = nullptr;
    std::string error;

    int32_t(PELSBUS_CALL* PCDGetVersion)();
    int32_t(PELSBUS_CALL* PCDSetParameter)(int32_t, int32_t, int32_t);
    int32_t(PELSBUS_CALL* PCDSetPortName)(int32_t, const char*);
    int32_t(PELSBUS_CALL* PCDOpen)();
    int32_t(PELSBUS_CALL* PCDClose)();
    int32_t(PELSBUS_CALL* PCDSetStation)(int32_t);
    int32_t(PELSBUS_CALL* PCDSetRetries)(int32_t);
    int32_t(PELSBUS_CALL* PCDSetWaitTime1)(int16_t);
    int32_t(PELSBUS_CALL* PCDSetWaitTime2)(int16_t);
    int32_t(PELSBUS_CALL* PCDSetWaitTime3)(int16_t);
    int32_t(PELSBUS_CALL* PCDSetWaitTime4)(int16_t);
    int32_t(PELSBUS_CALL* PCDSetReadIntervalTimeout)(int32_t);
    int32_t(PELSBUS_CALL* PCDSetReadTimeoutMultiplier)(int32_t);
    int32_t(PELSBUS_CALL* PCDSetReadTimeoutConstant)(int32_t);
    int32_t(PELSBUS_CALL* PCDSetWriteTimeoutMultiplier)(int32_t);
    int32_t(PELSBUS_CALL* PCDSetWriteTimeoutConstant)(int32_t);
    int32_t(PELSBUS_CALL* PCDSetWin95)(int32_t);
    void(PELSBUS_CALL* PCDNoMsg)();
    int32_t(PELSBUS_CALL* PCDReadInput)(int16_t, int16_t, int16_t*);
    int32_t(PELSBUS_CALL* PCDReadOutput)(int16_t, int16_t, int16_t*);
    int32_t(PELSBUS_CALL* PCDReadFlag)(int16_t, int16_t, int16_t*);
    int32_t(PELSBUS_CALL* PCDWriteOutput)(int16_t, int16_t, const int16_t*);
    int32_t(PELSBUS_CALL* PCDWriteFlag)(int16_t, int16_t, const int16_t*);
    int32_t(PELSBUS_CALL* PCDReadCounter)(int16_t, int16_t, int32_t*);
    int32_t(PELSBUS_CALL* PCDReadTimer)(int16_t, int16_t, int32_t*);
    int32_t(PELSBUS_CALL* PCDReadRegister)(int16_t, int16_t, int32_t*);
    int32_t(PELSBUS_CALL* PCDWriteCounter)(int16_t, int16_t, const int32_t*);
    int32_t(PELSBUS_CALL* PCDWriteTimer)(int16_t, int16_t, const int32_t*);
    int32_t(PELSBUS_CALL* PCDWriteRegister)(int16_t, int16_t, const int32_t*);
    int32_t(PELSBUS_CALL* PcdRdDBItem)(int16_t, int16_t, int16_t, int32_t*);
    int32_t(PELSBUS_CALL* PcdWrDBItem)(int16_t, int16_t, int16_t, const int32_t*);
    int32_t(PELSBUS_CALL* PcdRdDBX)(int16_t, int16_t, int16_t, uint8_t*);
    int32_t(PELSBUS_CALL* PcdRdBlockSize)(char, int16_t, int16_t, int32_t*);
    int32_t(PELSBUS_CALL* PcdRdStatus)(int16_t, int32_t*);
    int32_t(PELSBUS_CALL* PCDReadClock)(int32_t*);
    int32_t(PELSBUS_CALL* PCDFloatToLong)(float, int32_t);
    float(PELSBUS_CALL* PCDLongToFloat)(int32_t, int32_t);
    int32_t(PELSBUS_CALL* PCDFloatStringToLong)(const char*, int32_t*);

    // Loads the library by name (a fresh copy: state starts as after load).
#ifdef _WIN32
    bool Load() {
        handle = LoadLibraryA("Pelsbus.dll");
        if (!handle) {
            error = "LoadLibrary(Pelsbus.dll) failed: " + std::to_string(GetLastError());
            return false;
        }
        return BindAll();
    }
    void* Symbol(const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
    }
    void Unload() {
        if (handle) FreeLibrary(static_cast<HMODULE>(handle));
        handle = nullptr;
    }
#else
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
        return BindAll();
    }
    void* Symbol(const char* name) {
        return dlsym(handle, name);
    }
    void Unload() {
        if (handle) dlclose(handle);
        handle = nullptr;
    }
#endif

private:
    bool BindAll() {
        bool ok = true;
        auto bind = [&](auto& fn, const char* name) {
            void* p = Symbol(name);
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
};

} // namespace pelsbus::test
