#pragma once

#include <cstdint>

// Three 0-based indices into the owning object's vertex list, in the order
// the file gives them (counter-clockwise seen from outside).
struct Triangle {
    int32_t v[3] = {0, 0, 0};

    friend bool operator==(const Triangle&, const Triangle&) = default;
};
