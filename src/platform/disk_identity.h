// Which disk a path lies on, for telling whether a save's destination is on the disk
// being scanned. Disks are named by keys: "dev:MAJ:MIN" for a whole-disk block device
// (a partition counts as its disk) and "file:DEV:INO" for an image file. A destination's
// disks are followed down through its mount (FUSE mounts such as ntfs-3g name their block
// device or image file as the mount's source), loop devices (to the file behind them,
// and the disk that file lies on) and device-mapper devices (to the devices below them).
#pragma once

#include <optional>
#include <set>
#include <string>

namespace tessaly::platform {

struct DiskKeys {
  std::set<std::string> keys;
  std::string fileSystemType;  // of the mount holding a destination ("" when unknown)
};

// The disk a scanned path is: a block device's whole disk, or an image file itself
// (with every loop device that reads that file). Empty when the path cannot be looked at.
DiskKeys scannedDiskKeys(const std::string& path);

// Every disk that holds a destination folder (or, when it does not exist yet, the
// nearest folder above it that does).
DiskKeys destinationDiskKeys(const std::string& folder);

// Why a destination folder is refused, when it is: on the scanned disk, or inside the
// system's device, process or kernel folders (/dev, /proc, /sys), where nothing
// recovered belongs. nullopt when it may be used.
enum class DestinationProblem { SameDisk, SystemFolder };
std::optional<DestinationProblem> destinationProblem(const std::string& scannedPath,
                                                     const std::string& folder);

}  // namespace tessaly::platform
