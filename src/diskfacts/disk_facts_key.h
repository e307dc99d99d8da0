// The disk-facts key: the only thing the main program and the diskfacts helper share.
// The helper writes it, the main program cleans it before each enumeration, lists the
// disks whose kind value is not empty and shows their facts. Header only, so that both
// programs agree on the names without linking anything of each other.
//
// Every value is a string; the value of disk n is named "Disk" followed by n in decimal.
#pragma once

#include <string>

namespace tessaly::diskfacts {

// The kind of each disk ("HDD", "UFD", "ZIP", or empty when it is not to be listed); the
// main program's geometry query writes the empty text here for every disk it finds.
inline constexpr const char* kDiskFactsKey = "TY Windows";
inline constexpr const char* kCylinderKey = "TY Windows\\Cylinder";
inline constexpr const char* kHeadKey = "TY Windows\\Head";
inline constexpr const char* kSectorsPerTrackKey = "TY Windows\\SectorsPerTrack";
inline constexpr const char* kSizeKey = "TY Windows\\Size";  // bytes, decimal
inline constexpr const char* kModelKey = "TY Windows\\Model";
inline constexpr const char* kMediaTypeKey = "TY Windows\\MediaType";
// Not written by anyone any more; removed by the clean-up when an older run left it.
inline constexpr const char* kDisplayDeviceKey = "TY Windows\\DisplayDevice";

inline std::string diskValueName(unsigned disk) {
  return "Disk" + std::to_string(disk);
}

}  // namespace tessaly::diskfacts
