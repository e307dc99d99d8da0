#include "platform/geometry.h"

#include <linux/hdreg.h>
#include <sys/ioctl.h>

#include "platform/device.h"

namespace tessaly::platform {

DiskGeometry imageGeometry(std::uint64_t bytes) {
  DiskGeometry g;
  g.tracksPerCylinder = 255;
  g.sectorsPerTrack = 63;
  g.bytesPerSector = 512;
  g.mediaType = 12;
  g.cylinders = static_cast<std::int64_t>(bytes / (255ULL * 63ULL * 512ULL));
  return g;
}

std::optional<DiskGeometry> queryGeometry(DeviceTable& devices, const std::string& name) {
  auto device = devices.open(name);
  if (!device) return std::nullopt;
  auto* file = dynamic_cast<FileDevice*>(device.get());
  if (!file || !file->isBlockDevice()) return imageGeometry(device->size());

  DiskGeometry g;
  g.bytesPerSector = 512;
  g.mediaType = 12;
  hd_geometry geo{};
  if (::ioctl(file->descriptor(), HDIO_GETGEO, &geo) == 0 && geo.heads > 0 && geo.sectors > 0) {
    g.tracksPerCylinder = geo.heads;
    g.sectorsPerTrack = geo.sectors;
  } else {
    g.tracksPerCylinder = 255;
    g.sectorsPerTrack = 63;
  }
  // Cylinders from the size: the ioctl's own count is 16 bits wide and wraps.
  std::uint64_t perCylinder =
      std::uint64_t{g.tracksPerCylinder} * g.sectorsPerTrack * g.bytesPerSector;
  g.cylinders = static_cast<std::int64_t>(file->size() / perCylinder);
  return g;
}

}  // namespace tessaly::platform
