// The geometry probe's rules: what one drive's properties become in the disk-facts key.
#pragma once

#include <string>
#include <vector>

#include "diskfacts/drive_properties.h"

namespace tessaly::platform {
class Registry;
}

namespace tessaly::diskfacts {

inline constexpr const char* kNotInsertedModel = " ( Disk is not inserted properly ) ";
inline constexpr const char* kUfdModel = "UFD USB Device";

// One value written for a drive: its key and text (the value is named "Disk" + index).
struct FactValue {
  std::string key;
  std::string value;
  bool operator==(const FactValue&) const = default;
};

// The values written for one drive, in the order they are written:
//   - a media type ending in "hard disk media" becomes "Fixed hard disk media";
//   - no media: the model " ( Disk is not inserted properly ) " and an empty kind, nothing else;
//   - the kind, a later rule replacing an earlier one: model "UFD USB Device" -> "UFD";
//     fixed hard disk media (not that model) or a SCSI interface -> "HDD"; removable media
//     other than floppy (not that model) -> "ZIP"; no rule, no kind value;
//   - then MediaType, Size, Model, Head, Cylinder, SectorsPerTrack.
// Comparisons are exact and case-sensitive.
std::vector<FactValue> probeValues(DriveProperties drive);

// Writes the values of probeValues into keys that already exist; a key that cannot be
// opened loses that value and nothing else.
void writeProbeValues(platform::Registry& registry, const DriveProperties& drive);

}  // namespace tessaly::diskfacts
