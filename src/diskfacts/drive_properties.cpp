#include "diskfacts/drive_properties.h"

#include <cstdint>

#include "platform/geometry.h"

namespace tessaly::diskfacts {

namespace {

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string interfaceOf(const std::string& bus) {
  if (bus == "usb") return "USB";
  if (bus == "ata") return "IDE";
  if (bus == "ieee1394") return "1394";
  // NVMe, virtio, Xen, MMC and plain SCSI hosts all show as SCSI adapters.
  if (bus == "nvme" || bus == "virtio" || bus == "xen" || bus == "mmc" || bus == "scsi")
    return "SCSI";
  return "";
}

std::string mediaTypeOf(const LinuxDiskFacts& facts) {
  if (facts.imageFile) return kFixedHardDiskMedia;
  if (facts.bytes == 0) return "";  // an empty reader slot or drive without a medium
  if (facts.removable) return kRemovableMediaOtherThanFloppy;
  if (facts.bus == "usb" || facts.bus == "ieee1394") return kExternalHardDiskMedia;
  return kFixedHardDiskMedia;
}

}  // namespace

DriveProperties describeDrive(const LinuxDiskFacts& facts) {
  DriveProperties p;
  p.index = std::to_string(facts.slot);
  p.interfaceType = facts.imageFile ? "" : interfaceOf(facts.bus);
  p.mediaType = mediaTypeOf(facts);
  p.size = std::to_string(facts.bytes);
  p.model = facts.imageFile ? kImageModel : trimmed(facts.model);

  std::uint64_t heads = 255, sectors = 63, cylinders = 0;
  if (facts.imageFile) {
    platform::DiskGeometry g = platform::imageGeometry(facts.bytes);
    heads = g.tracksPerCylinder;
    sectors = g.sectorsPerTrack;
    cylinders = static_cast<std::uint64_t>(g.cylinders);
  } else {
    if (facts.heads > 0 && facts.sectorsPerTrack > 0) {
      heads = facts.heads;
      sectors = facts.sectorsPerTrack;
    }
    cylinders = facts.bytes / (heads * sectors * 512);
  }
  p.totalHeads = std::to_string(heads);
  p.totalCylinders = std::to_string(cylinders);
  p.sectorsPerTrack = std::to_string(sectors);
  return p;
}

}  // namespace tessaly::diskfacts
