#include "core/TaskRules.h"

namespace pelkor {

bool HasOwnStation(const Task& task) {
    return task.Settings != 1;
}

int16_t DefaultStation(const AppSettings& settings, const Task& task) {
    return HasOwnStation(task) ? task.SBus : settings.Station;
}

void ZeroTaskRecord(Task& t) {
    t = Task{};
    t.ReadInterval = 0;
    t.Settings = 0;
    t.FileName.clear();
    t.FileIndex = 0;
    t.TimeStamp = 0;
}

} // namespace pelkor
