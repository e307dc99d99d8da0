// The stand-in for IOCTL_DISK_GET_DRIVE_GEOMETRY.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly::platform {

class DeviceTable;

struct DiskGeometry {
  std::int64_t cylinders = 0;
  std::uint32_t mediaType = 0;  // 12 fixed hard disk, 11 removable
  std::uint32_t tracksPerCylinder = 0;
  std::uint32_t sectorsPerTrack = 0;
  std::uint32_t bytesPerSector = 512;
};

// Block devices: HDIO_GETGEO and the device size. Image files: 255 heads and 63
// sectors per track, cylinders from the size. Null when the device cannot be opened.
std::optional<DiskGeometry> queryGeometry(DeviceTable& devices, const std::string& name);

// The image-file rule on its own: geometry of a file of the given size.
DiskGeometry imageGeometry(std::uint64_t bytes);

}  // namespace tessaly::platform
