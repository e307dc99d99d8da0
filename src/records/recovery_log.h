// The recovery log: a scan's result kept in a ".SAV" file, so that files can be saved
// later without scanning again. The file holds the disk's model text, the partition
// choice, both volume parameter records, one record per folder of the scan catalogue
// and, for NTFS, the file entries. It is a plain byte stream, little-endian, unpadded.
//
// Counted text: a count N (4 bytes, or 1 byte for the short file-system and search-mode
// texts) and 2 x N bytes: the N bytes of the text, a 0, and N - 1 filler bytes (zeros
// here, ignored when read). N = 0 has no bytes after it. Texts are UTF-8; N counts bytes,
// and a text that has to be shortened is cut before a whole character.
//
// The decoder trusts nothing in the file: it checks the magic and every count and
// length against the bytes that remain and against the largest value this program
// writes, so a damaged or hostile file ends in a LogError, never in a read outside the
// buffer or an allocation larger than the file justifies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disk/le.h"
#include "disk/name_text.h"
#include "fat/catalogue.h"
#include "partition/partition_types.h"
#include "session/values.h"

namespace tessaly {

// The first 22 bytes of every log, without a terminator.
constexpr std::string_view kRecoveryLogMagic = "Varnholt Tessaly Works";
// Longest text behind a 4-byte count (disk model, file names) that is written or read.
constexpr std::size_t kMaxLogText = 4096;
// Longest text behind a 1-byte count, and longest folder name taken from the catalogue.
constexpr std::size_t kMaxShortLogText = 255;
// Bytes of a folder record besides its name (L, ids, date, time, deleted) and of a file
// entry besides its name (N, sector, record numbers, time, size, deleted).
constexpr std::size_t kFolderRecordFixedBytes = 29;
constexpr std::size_t kFileEntryFixedBytes = 36;

// One file entry of an NTFS log.
struct LoggedFile {
  std::string name;
  std::uint32_t sector = 0;        // disk sector of the file's MFT record
  std::uint32_t recordNumber = 0;  // the file's own MFT record number
  std::uint32_t parentNumber = 0;  // MFT record number of its folder
  std::uint64_t time = 0;          // the entry's 64-bit time value
  std::uint64_t size = 0;          // data size in bytes
  std::uint32_t deleted = 0;       // 1 deleted, 0 not
};

// Everything a log file holds, field for field. Numbers kept as one byte in the file are
// one byte here.
struct RecoveryLog {
  std::string diskModel;
  std::uint8_t recoveryMode = 1;  // 1 Quick, 2 Advanced, 3 Raw, as the scan ran
  std::uint8_t selectedDisk = 0;
  std::uint8_t diskNumber = 0;
  std::uint8_t partitionIndex = 0;
  std::string fileSystem;  // the partition choice's file-system text
  std::string searchMode;
  std::uint64_t firstSector = 0;
  std::uint64_t lastSector = 0;
  // Twelve numbers each. The computed record's fileSystem is not kept; the working
  // record's is ("FAT16", "FAT32", "NTFS") and decides whether file entries follow.
  VolumeParameters computed;
  VolumeParameters working;
  // name (at most 255 bytes are kept), selfId, parentId, date, time and the low byte of
  // deleted; the other fields are not kept.
  std::vector<FolderRecord> folders;
  // Written and read only when hasFileEntries().
  std::vector<LoggedFile> files;

  bool hasFileEntries() const { return working.fileSystem == FileSystem::Ntfs; }
};

// Fills the header fields from the scan's choice (one-byte fields take the low byte).
void setLogChoice(RecoveryLog& log, const std::string& diskModel, int recoveryMode,
                  const PartitionSelection& selection, const VolumeParameters& computed,
                  const VolumeParameters& working);

std::vector<std::uint8_t> encodeRecoveryLog(const RecoveryLog& log);

enum class LogError {
  None,
  BadMagic,        // the file does not begin with the magic
  Truncated,       // a field or a text runs past the end of the file
  TextTooLong,     // a text count above what this program writes
  BadRecordLength, // a folder record's L below 25
  CountTooLarge,   // more records than the remaining bytes can hold
};

struct DecodedLog {
  LogError error = LogError::None;
  std::size_t errorOffset = 0;  // where the faulty field starts
  RecoveryLog log;              // complete only when ok()

  bool ok() const { return error == LogError::None; }
};

// Reads a whole log file. Bytes after the last record are ignored.
DecodedLog decodeRecoveryLog(ByteSpan bytes);

// What loading a log puts in place of the current partition choice: the log's texts,
// sectors and partition number (its low byte), with the disk number of the disk selected
// now. The disk numbers stored in the log are not used.
PartitionSelection selectionFromLog(const RecoveryLog& log, const PartitionSelection& current);
// A loaded log always leaves the recovery mode at Quick, whatever mode made it.
constexpr int kLoadedRecoveryMode = 1;

// A log is loaded only on the disk it was made from: the model texts must be equal,
// byte for byte and case-sensitive.
bool sameDiskModel(std::string_view loggedModel, std::string_view currentModel);

// The file-name rule of Save Log, applied to the name the save dialog returned.
struct SaveLogName {
  std::string path;
  bool extensionAppended = false;  // ".SAV" was added to what the user typed
  bool validExtension = false;     // false: "Invalid Extension", ask again

  // When the file exists the program asks its own overwrite question only for a name
  // whose extension it appended; otherwise the dialog has asked already.
  bool askOverwrite(bool fileExists) const { return fileExists && extensionAppended; }
};
// The file name (the last path component) is upper-cased; the folders keep their case,
// since they must exist as they are. A name that does not end in "SAV" gets ".SAV"
// unless the name would grow past 255 bytes; a name that then still does not end in
// "SAV" is invalid.
SaveLogName saveLogName(std::string_view chosenPath);

}  // namespace tessaly
