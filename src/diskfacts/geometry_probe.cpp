#include "diskfacts/geometry_probe.h"

#include <string_view>

#include "diskfacts/disk_facts_key.h"
#include "platform/registry.h"

namespace tessaly::diskfacts {

std::vector<FactValue> probeValues(DriveProperties drive) {
  std::vector<FactValue> out;
  constexpr std::string_view kHardDiskMedia = "hard disk media";
  const std::string& media = drive.mediaType;
  if (media != kFixedHardDiskMedia && media.size() >= kHardDiskMedia.size() &&
      media.compare(media.size() - kHardDiskMedia.size(), kHardDiskMedia.size(), kHardDiskMedia) ==
          0)
    drive.mediaType = kFixedHardDiskMedia;

  if (drive.mediaType.empty()) {
    out.push_back({kModelKey, kNotInsertedModel});
    out.push_back({kDiskFactsKey, ""});
    return out;
  }

  const bool ufd = drive.model == kUfdModel;
  if (ufd) out.push_back({kDiskFactsKey, "UFD"});
  if ((drive.mediaType == kFixedHardDiskMedia && !ufd) || drive.interfaceType == "SCSI")
    out.push_back({kDiskFactsKey, "HDD"});
  if (drive.mediaType == kRemovableMediaOtherThanFloppy && !ufd)
    out.push_back({kDiskFactsKey, "ZIP"});

  out.push_back({kMediaTypeKey, drive.mediaType});
  out.push_back({kSizeKey, drive.size});
  out.push_back({kModelKey, drive.model});
  out.push_back({kHeadKey, drive.totalHeads});
  out.push_back({kCylinderKey, drive.totalCylinders});
  out.push_back({kSectorsPerTrackKey, drive.sectorsPerTrack});
  return out;
}

void writeProbeValues(platform::Registry& registry, const DriveProperties& drive) {
  const std::string name = "Disk" + drive.index;
  for (const auto& v : probeValues(drive)) registry.setValue(v.key, name, v.value);
}

}  // namespace tessaly::diskfacts
