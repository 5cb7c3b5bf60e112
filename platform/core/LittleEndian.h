#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// A little-endian integer field of a file or record, read byte by byte: no alignment demand, and the same
// value on a host of either byte order. The caller has checked that sizeof(T) bytes are there.
template <typename T> constexpr T ReadLe(const std::uint8_t* p)
{
    static_assert(std::is_integral_v<T>, "ReadLe reads integers");
    using Unsigned = std::make_unsigned_t<T>;
    Unsigned value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
        value = static_cast<Unsigned>(value << 8 | p[i]);
    return static_cast<T>(value);
}
