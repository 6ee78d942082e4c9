#pragma once
// The event a finished reading raises: views and publishers that follow the
// readings (trend window, MQTT, ...) observe it instead of polling the task
// table. Raised on the program's one thread after the record is stored.

#include "core/Task.h"

namespace pelkor {

struct ReadingDoneEvent {
    int TaskNumber = 0;
    // The record's time stamp: the planned time, or the current time for a
    // reading the user asked for.
    Date Stamp = 0;
    // The task as it stands after the reading: LastValues is the record as
    // written, each entry's Values its fields, ReadMissing the count of
    // fields not obtained.
    const Task* TaskRecord = nullptr;
};

class ReadingObserver {
public:
    virtual ~ReadingObserver() = default;
    virtual void ReadingDone(const ReadingDoneEvent& event) = 0;
};

} // namespace pelkor
