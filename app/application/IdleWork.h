#pragma once
// What the program does whenever it is idle: between the steps of a long
// operation, from the window's timer and while the headless loop waits.
// Services that have events of their own (the DDE service) add themselves
// here instead of being polled from each of those places.

#include <functional>
#include <vector>

namespace pelkor {

class IdleWork {
public:
    // Does the item's work, waiting up to waitMs for its events; true when
    // it waited (the items after it then wait no more).
    using Item = std::function<bool(int waitMs)>;

    void Add(Item item) { items_.push_back(std::move(item)); }
    // Runs every item; when none of them waited, sleeps waitMs.
    void Run(int waitMs = 0);

private:
    std::vector<Item> items_;
};

} // namespace pelkor
