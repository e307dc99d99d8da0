// The properties of a disk drive as the geometry probe reads them, all as text, and the
// one translation from what Linux knows into those texts.
#pragma once

#include <string>

#include "diskfacts/linux_disk_facts.h"

namespace tessaly::diskfacts {

inline constexpr const char* kFixedHardDiskMedia = "Fixed hard disk media";
inline constexpr const char* kExternalHardDiskMedia = "External hard disk media";
inline constexpr const char* kRemovableMediaOtherThanFloppy = "Removable media other than floppy";
inline constexpr const char* kImageModel = "Disk image";

// One drive's properties by their names ("index", "InterfaceType", "MediaType", "size",
// "Model", "TotalHeads", "TotalCylinders", "SectorsPerTrack"). An empty text is a
// property without a value; an empty media type means the drive holds no media.
struct DriveProperties {
  std::string index;
  std::string interfaceType;  // "SCSI", "IDE", "USB", "1394" or ""
  std::string mediaType;
  std::string size;  // bytes, decimal
  std::string model;
  std::string totalHeads;
  std::string totalCylinders;
  std::string sectorsPerTrack;
};

// Linux facts -> property texts:
//   index           the slot;
//   InterfaceType   usb "USB", ata "IDE", ieee1394 "1394", the other known buses "SCSI";
//   MediaType       image files "Fixed hard disk media"; a drive of size 0 "" (no media);
//                   removable "Removable media other than floppy"; a fixed disk on USB or
//                   FireWire "External hard disk media"; else "Fixed hard disk media";
//   size            bytes;
//   Model           image files "Disk image", else the sysfs model without padding;
//   geometry        image files 255 heads, 63 sectors per track; block devices the heads
//                   and sectors of HDIO_GETGEO (255 and 63 when it gave none); cylinders
//                   are those that fit in the size.
DriveProperties describeDrive(const LinuxDiskFacts& facts);

}  // namespace tessaly::diskfacts
