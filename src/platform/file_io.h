// Whole reads and writes at an offset of an open file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::platform {

// Writes all `size` bytes at `offset`, going on after interruptions and short writes;
// false on an error or when nothing more can be written.
bool writeAllAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset);
// Reads all `size` bytes at `offset` likewise; false on an error or when the file ends first.
bool readAllAt(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset);

}  // namespace tessaly::platform
