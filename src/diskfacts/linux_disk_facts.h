// What Linux knows about the drive in one slot of the device table: for a block device
// its sysfs attributes and HDIO_GETGEO, for an image file the size of the disk it holds. Raw facts only; what
// they mean as drive properties is decided in drive_properties.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly::diskfacts {

struct LinuxDiskFacts {
  unsigned slot = 0;       // the slot in the device table: the drive's index
  bool imageFile = false;  // a regular file standing in for a disk
  std::uint64_t bytes = 0;
  bool removable = false;  // sysfs "removable"
  std::string model;       // sysfs "device/model" as read (SCSI pads it with spaces)
  // The bus the drive hangs on, from its place in the sysfs device tree: "usb", "ata",
  // "ieee1394", "nvme", "virtio", "mmc", "xen", "scsi", or "" when it is not known.
  std::string bus;
  // HDIO_GETGEO; 0 when the device did not answer.
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
};

// The facts of the disk or image file at path. Null when the slot holds no disk drive:
// the path does not exist, is neither a block device nor a regular file, or is a SCSI
// device that is not a direct-access one (a CD or tape drive).
// sysRoot is where sysfs is mounted (tests point it elsewhere).
std::optional<LinuxDiskFacts> gatherDiskFacts(unsigned slot, const std::string& path,
                                              const std::string& sysRoot = "/sys");

enum class SysfsAnswer {
  Disk,        // the facts were read
  NotADisk,    // a SCSI device of another type (CD, tape, enclosure)
  Unreadable,  // no such directory or no size in it
};

// Reads the sysfs directory of a block device (the /sys/dev/block/MAJOR:MINOR link, or
// any path to the same directory) into facts: size, removable, model and bus. For a
// partition, removable and model are those of the disk it belongs to.
SysfsAnswer readSysfsFacts(const std::string& blockDir, LinuxDiskFacts& facts);

}  // namespace tessaly::diskfacts
