// Boot-sector validation and the volume layout: turns the chosen partition's boot
// sector into VolumeParameters, or works the layout of a FAT volume out from two
// directory clusters when the boot sector cannot be used.
#pragma once

#include <atomic>
#include <cstdint>

namespace tessaly {

class Session;
struct ScanState;
struct VolumeParameters;

// 1 when the partition named by session.partitionSelection is valid for its file
// system; fills scan.volume on success and sets scan.partitionValid. For NTFS the caller
// sets mftStart and mftMirrorStart to 0 first.
int validatePartition(Session& session, ScanState& scan);

// 1 when a FAT16 or FAT32 layout was found by sweeping the range for directory sectors;
// fills volume. The sweep ends early when stop is set.
int calculatePartitionParameters(Session& session, VolumeParameters& volume,
                                 const std::atomic<bool>* stop = nullptr);

// Sectors per cluster the engines accept: 1, 2, 4, ... 128.
bool isValidSectorsPerCluster(std::uint32_t spc);

}  // namespace tessaly
