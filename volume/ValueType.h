#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>

// The types image files store their values in. Every format's reader turns
// its own type codes into these, and reads values through VisitValues, so
// that one loop per use serves every type and byte order.
enum class EValueType {
    kUnknown,
    kUInt8,
    kInt8,
    kUInt16,
    kInt16,
    kUInt32,
    kInt32,
    kUInt64,
    kInt64,
    kFloat32,
    kFloat64
};

// Calls visit(T{}) for the C++ type T that `type` stands for and returns what
// it returns; throws std::invalid_argument for kUnknown.
template <typename Visit>
decltype(auto) VisitValueType(EValueType type, Visit&& visit) {
    switch (type) {
        case EValueType::kUInt8:
            return visit(uint8_t{});
        case EValueType::kInt8:
            return visit(int8_t{});
        case EValueType::kUInt16:
            return visit(uint16_t{});
        case EValueType::kInt16:
            return visit(int16_t{});
        case EValueType::kUInt32:
            return visit(uint32_t{});
        case EValueType::kInt32:
            return visit(int32_t{});
        case EValueType::kUInt64:
            return visit(uint64_t{});
        case EValueType::kInt64:
            return visit(int64_t{});
        case EValueType::kFloat32:
            return visit(float{});
        case EValueType::kFloat64:
            return visit(double{});
        case EValueType::kUnknown:
            break;
    }
    throw std::invalid_argument("values of an unknown type");
}

inline bool IsIntegerValueType(EValueType type) {
    return type != EValueType::kFloat32 && type != EValueType::kFloat64 && type != EValueType::kUnknown;
}

// `value` with its bytes in the opposite order.
template <typename T>
T ByteSwapped(T value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    std::reverse(bytes, bytes + sizeof(T));
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// Calls visit(values, n) over the `count` values of `type` stored at `bytes`,
// `values` a pointer to n of them as their own type T. Values in the host's
// byte order at an address T may be read from are handed over in place, in
// one call; others (`swapped` data, or data at an odd address) are copied,
// swapped where needed, a run at a time.
template <typename Visit>
void VisitValues(EValueType type, const void* bytes, int64_t count, bool swapped, Visit&& visit) {
    VisitValueType(type, [&](auto zero) {
        using T = decltype(zero);
        const auto* at = static_cast<const unsigned char*>(bytes);
        if (!swapped && reinterpret_cast<uintptr_t>(at) % alignof(T) == 0) {
            visit(reinterpret_cast<const T*>(at), count);
            return;
        }
        constexpr int64_t kRun = 1024;
        T run[kRun];
        for (int64_t done = 0; done < count; done += kRun) {
            const int64_t n = std::min(kRun, count - done);
            std::memcpy(run, at + done * int64_t{sizeof(T)}, static_cast<size_t>(n) * sizeof(T));
            if (swapped)
                for (int64_t i = 0; i < n; ++i) run[i] = ByteSwapped(run[i]);
            visit(static_cast<const T*>(run), n);
        }
    });
}
