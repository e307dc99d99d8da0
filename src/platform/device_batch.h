// Reads that a sweep over many scattered sectors needs from a device beyond read(): the
// holes of a sparse image file, and many small pieces in one system call.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/device.h"

namespace tessaly::platform {

// Bytes [start, end) of a device.
struct Extent {
  std::uint64_t start = 0, end = 0;
};

// In an image file with holes, the first stretch of data that ends after offset ({size,
// size} when there is none); the holes read as zeros. Nothing when the device cannot
// tell (a block device, a container, a device in memory): then every byte counts as data.
std::optional<Extent> dataFrom(Device& device, std::uint64_t offset);

// Asks the system to start reading bytes [offset, offset + length) of a disk or image
// file into its cache and returns without waiting, so that the reads that follow find
// them there and the device works on many requests at once. Nothing for other devices.
void prefetch(Device& device, std::uint64_t offset, std::uint64_t length);

// One piece of a batched read: buffer.size() bytes at offset.
struct Piece {
  std::uint64_t offset;
  std::span<std::uint8_t> buffer;
};

// Reads the pieces (ascending, not overlapping) until one fails; returns how many of the
// first pieces arrived whole (all of them when every read went well). A disk or image
// file reads the pieces and the gaps between them as vectored reads (preadv; the gaps
// into one scratch buffer); any other device one piece at a time.
std::size_t readPieces(Device& device, std::span<const Piece> pieces);

}  // namespace tessaly::platform
