#pragma once
// Numbers in the bytes of picture files, read and written in either byte order. Callers check
// that the bytes reach that far.

#include <cstddef>
#include <cstdint>
#include <span>

namespace veilshot::imaging {

inline std::uint16_t Read16(std::span<const std::uint8_t> b, std::size_t at, bool big)
{
    return big ? std::uint16_t(b[at] << 8 | b[at + 1]) : std::uint16_t(b[at + 1] << 8 | b[at]);
}

inline std::uint32_t Read32(std::span<const std::uint8_t> b, std::size_t at, bool big)
{
    return big ? std::uint32_t(Read16(b, at, true)) << 16 | Read16(b, at + 2, true)
               : std::uint32_t(Read16(b, at + 2, false)) << 16 | Read16(b, at, false);
}

inline std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return Read32(b, at, false);
}

inline std::uint32_t Be32(std::span<const std::uint8_t> b, std::size_t at)
{
    return Read32(b, at, true);
}

inline void Write16(std::span<std::uint8_t> b, std::size_t at, bool big, std::uint16_t value)
{
    b[at + (big ? 0 : 1)] = std::uint8_t(value >> 8);
    b[at + (big ? 1 : 0)] = std::uint8_t(value & 0xFF);
}

inline void Write32(std::span<std::uint8_t> b, std::size_t at, bool big, std::uint32_t value)
{
    Write16(b, at + (big ? 0 : 2), big, std::uint16_t(value >> 16));
    Write16(b, at + (big ? 2 : 0), big, std::uint16_t(value & 0xFFFF));
}

}  // namespace veilshot::imaging
