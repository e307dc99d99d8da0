// The save engine: copies one file found on the scanned disk into a new file of the
// destination folder. FAT files are found from their first cluster (the chain in FAT 1
// or FAT 2, or consecutive clusters, as the saving mode says); NTFS files from their MFT
// record (the data inside it, or the runs of its run list). Every read goes through the
// sector reader; nothing is written to the scanned disk.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <string>

#include "fat/cluster_chain.h"
#include "session/values.h"

namespace tessaly {

class Session;
struct SaveJob;
struct VolumeParameters;

// Saves a FAT file of job.scan. interactive: the Saving dialog is open (filters, replace
// question, counters, progress); otherwise a quiet save that overwrites and shows
// nothing. True when every byte of the file was written. A file whose source cannot be
// read is never counted as saved: it is noted in the outcome, and a disk that stopped
// answering ends the whole save.
//
// The file is written under a hidden temporary name and takes destPath's name only when
// it is whole (or known incomplete: bytes that could not be read are zeros, and the file
// is counted incomplete with those ranges noted). Skip, Stop and write errors remove the
// temporary. With dirFd (an open destination folder) the file is made inside it, under
// destPath's last component; destPath is what is shown and noted.
bool saveFatFile(Session& session, SaveJob& job, const std::string& destPath,
                 const std::string& name, std::uint32_t size, std::uint32_t firstCluster,
                 bool interactive, bool deleted, int dirFd = AT_FDCWD);

// Saves an NTFS file of job.scan from its MFT record at recordSector. Runs that cover
// less than the size, or a resident value shorter than it, save what is there and count
// the file incomplete.
bool saveNtfsFile(Session& session, SaveJob& job, const std::string& destPath,
                  const std::string& name, std::uint64_t size, std::uint32_t recordSector,
                  bool interactive, bool deleted, int dirFd = AT_FDCWD);

// The file's chain, read from the FAT that starts at fatStart; at most neededClusters
// links are followed.
ClusterChain walkSaveChain(Session& session, const VolumeParameters& volume, std::uint32_t firstCluster,
                           std::uint32_t fatStart, std::uint32_t neededClusters);

// The clusters of a FAT file as the saving mode finds them: a chain of exactly needed
// clusters from FAT 1 or FAT 2, or the clusters free in FAT 1 from the first; Auto tries
// the three in that order. An empty chain means consecutive clusters from the first.
struct FileClusters {
  SaveMethod method = SaveMethod::Contiguous;
  ClusterChain chain;
};
FileClusters chooseFileClusters(Session& session, const VolumeParameters& volume, SavingMode mode,
                                std::uint32_t firstCluster, std::uint32_t needed);

// Opens a file that has just been saved with the desktop's program for its type.
bool openSavedFile(const std::string& path);

// A name off the disk made safe as one path component: no "/" or NUL, never "." or
// "..", never empty. Names are otherwise kept as they are.
std::string safeComponent(const std::string& name);

// The Saving dialog's figures after a block: data, percentage, time estimates and the
// current file's bytes (FAT only). Honours job.progressIntervalMs.
void updateSaveProgress(Session& session, SaveJob& job, std::uint64_t written, std::uint64_t size,
                        bool currentFile, bool force = false);

// The figures as the Saving dialog shows them: "3 MB", "1 Min 4 Sec".
std::string megabytesText(std::uint64_t bytes);
std::string minutesAndSecondsText(std::int64_t seconds);

}  // namespace tessaly
