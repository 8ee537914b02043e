// Puts a list in a new order given as the old positions, as a sorted view of
// it shows them. Portable.
#pragma once

#include <cstddef>
#include <vector>

namespace kb {

// order[i] is the old position of what goes to position i. False, and the
// list as it was, unless order names every old position exactly once.
template <class T>
[[nodiscard]] bool reorderBy(std::vector<T>& items, const std::vector<int>& order) {
    if (order.size() != items.size()) return false;
    std::vector<bool> seen(items.size(), false);
    for (int from : order) {
        if (from < 0 || static_cast<std::size_t>(from) >= items.size() || seen[static_cast<std::size_t>(from)])
            return false;
        seen[static_cast<std::size_t>(from)] = true;
    }
    std::vector<T> next;
    next.reserve(items.size());
    for (int from : order) next.push_back(std::move(items[static_cast<std::size_t>(from)]));
    items = std::move(next);
    return true;
}

// Where the thing at old position `was` went, or -1.
[[nodiscard]] inline int newPosition(const std::vector<int>& order, int was) {
    for (std::size_t i = 0; i < order.size(); ++i)
        if (order[i] == was) return static_cast<int>(i);
    return -1;
}

}  // namespace kb
