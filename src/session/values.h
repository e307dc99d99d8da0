// The typed values the engines and front ends pass around. Text appears only where a
// value is shown, printed or stored, and always through the conversions here.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessaly {

// The file system of a partition, a range or a scan.
enum class FileSystem { None, Fat12, Fat16, Fat32, Ntfs };

// "FAT12", "FAT16", "FAT32", "NTFS"; "" for None.
std::string_view fileSystemName(FileSystem fileSystem);
// The inverse of fileSystemName (exact spelling); None for any other text.
FileSystem fileSystemFromName(std::string_view name);
inline bool isFat(FileSystem fs) {
  return fs == FileSystem::Fat12 || fs == FileSystem::Fat16 || fs == FileSystem::Fat32;
}

// Answers of "Bad Sector Encountered", and the policy the reader keeps from them.
enum class BadSectorAnswer { Retry, Skip, RetryAll, SkipAll };
// Answers of "Replace File Confirmation", and the policy of one save.
enum class ReplaceAnswer { Yes, No, YesToAll, NoToAll };
// Answers of "Error Writing Destination".
enum class WriteErrorAnswer { Abort, Skip };

// Where a save takes its files from.
enum class SaveSource { CheckedFolders, FileList };
// How the data of a FAT file are found: the chain in either FAT, FAT 1, FAT 2,
// consecutive clusters from the first, or the clusters free in FAT 1 from the first.
enum class SavingMode { Auto, Fat1, Fat2, Contiguous, FreeClusters };
// How the clusters of one saved FAT file were found: from a chain, or guessed.
enum class SaveMethod { Fat1Chain, Fat2Chain, FreeClusters, Contiguous };
constexpr int kSaveMethods = 4;
// "FAT 1 chain", "FAT 2 chain", "free clusters", "contiguous".
std::string_view saveMethodName(SaveMethod method);
// Which files a save takes by their deleted mark.
enum class DeletedFilter { All, ExcludeDeleted, DeletedOnly };
// Which rows of the file list a save takes.
enum class SelectionMode { Selected, All, NotSelected };

// What a row of a directory or entry table stands for.
enum class RowKind { Folder, File };

}  // namespace tessaly
