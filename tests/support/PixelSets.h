#pragma once
// Sets of pixels as the drawing tests compare them.

#include <set>
#include <utility>
#include <vector>

using TPixelSet = std::set<std::pair<int, int>>;

// True when the pixels form one 8-connected piece (a line without holes).
inline bool Connected(const TPixelSet& pixels) {
    if (pixels.empty())
        return false;
    TPixelSet seen{*pixels.begin()};
    std::vector<std::pair<int, int>> todo{*pixels.begin()};
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (pixels.count({x + dx, y + dy}) && seen.insert({x + dx, y + dy}).second)
                    todo.push_back({x + dx, y + dy});
    }
    return seen.size() == pixels.size();
}
