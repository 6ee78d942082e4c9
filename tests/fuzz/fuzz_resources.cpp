// Any resource list (and head list) must parse without a fault and leave a
// table whose columns match its entry count; normalising twice changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/AppContext.h"
#include "support/ScriptedUserInterface.h"
#include "tasks/Resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t nl = input.find('\n');
    std::string list = input.substr(0, nl);
    std::string head = nl == std::string::npos ? std::string() : input.substr(nl + 1);

    static pelkor::ScriptedUserInterface ui;
    static pelkor::ManualClock clock;
    static pelkor::AppContext app(ui, clock, "/tmp");
    pelkor::Task& t = app.Tasks[1];
    t.Settings = static_cast<int16_t>(size % 3);
    t.SBus = static_cast<int16_t>(size);
    t.Data = list;
    t.DataHead = head;
    pelkor::ParseTaskResources(app, 1);

    std::size_t n = t.ResourceCount > 0 ? static_cast<std::size_t>(t.ResourceCount) : 1;
    if (t.Resources.size() != n) __builtin_trap();
    if (pelkor::NormaliseResourceList(t.Data) != t.Data) __builtin_trap();
    if (t.AddressCount < 0) __builtin_trap();
    return 0;
}
