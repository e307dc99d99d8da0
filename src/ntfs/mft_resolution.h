// The reference resolution of an Advanced NTFS scan and the file system the user then
// chooses. The swept records were found loose on the disk: a record names its parent
// but (before NTFS 3.1) not itself, and nothing says which volume it belongs to. The
// resolution numbers every record — directories from the index blocks that list them,
// the rest by their position after a numbered record — and finds the volumes: from the
// NTFS boot sectors found, and where none remains, from the distance on disk between the
// first index blocks of two directories. The chosen volume then fills the NTFS entry
// tables, and the tree is built as after a Quick scan.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly {

class Session;
struct ScanState;

// Numbers the records of scan.spillFile, builds scan.ntfsFolders and fills
// scan.fileSystems (NTFS rows: sector and cluster0Start the first sector, totalSectors
// the end, sectorsPerCluster; derived for a volume found from its index blocks), and
// leaves the entry tables empty but for "Lost". Reports its status texts, the
// "Assigned" counter and the progress.
void resolveMftReferences(Session& session, ScanState& scan);

// Whether the geometry (sectors per cluster c, first sector f, end e) is confirmed by
// at least one unmatched folder row with a first index cluster L whose sector lies above
// f and at most e: the sector f + L × c begins "INDX". Each confirmed row joins file
// system fileSystems.size() + 1, and the index block at that sector leaves
// scan.indexBlocks.
bool verifyFileSystem(Session& session, ScanState& scan, std::uint32_t c, std::uint32_t f, std::uint32_t e);

// The sectors per cluster and the first sector of a volume from two directories whose
// first index clusters K and H lie at the disk sectors A and A2: s = (A − A2) / (K − H)
// (truncated), f = A − K × s. Zero sectors per cluster when s is no power of two up to
// 128, when K equals H, or when f would lie before sector 0.
struct IndexGeometry {
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t firstSector = 0;
  bool operator==(const IndexGeometry&) const = default;
};
IndexGeometry geometryFromIndexBlocks(std::uint32_t a, std::uint32_t k, std::uint32_t a2, std::uint32_t h);

// Fills the entry tables from row `chosen` (0-based) of scan.fileSystems: its folders
// (each once), then every swept file record of whatever volume. A file of the chosen
// volume's range whose parent is no folder of the table is filed under "Lost". Sets the
// working volume, runs the lost-folder check and builds the tree afresh. False (nothing
// changed) for a row that does not exist.
bool prepareChosenNtfs(Session& session, ScanState& scan, std::size_t chosen);

}  // namespace tessaly
