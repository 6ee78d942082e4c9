#include "application/IdleWork.h"

#include <chrono>
#include <thread>

namespace pelkor {

void IdleWork::Run(int waitMs) {
    for (const Item& item : items_)
        if (item(waitMs)) waitMs = 0;
    if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
}

} // namespace pelkor
