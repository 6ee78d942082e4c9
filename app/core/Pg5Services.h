#pragma once
// What the core asks of the PG5 side without depending on it: the PCD layer
// provides the implementation; without one, no PG5 is installed.

#include <string>

namespace pelkor {

struct AppContext;

class Pg5Services {
public:
    virtual ~Pg5Services() = default;
    // The PG5 program folder of this two-digit version (13..20) was found.
    virtual bool ProgramFolderFound(int version) = 0;
    // Copies PG5's default channel settings into the channel file (a start
    // file). Only called when the PG5 channel is available.
    virtual bool CopyPg5Defaults(AppContext& app, const std::string& channelFile) = 0;
};

} // namespace pelkor
