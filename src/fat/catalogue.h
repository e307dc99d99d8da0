// The scan catalogue "TYDataFile1.dat": one 546-byte FolderRecord per folder of the
// folder tree, appended in insertion order while the tree is built and looked up
// afterwards by walking the records with one shared cursor. Beside the file it keeps
// the FolderNode list (tree item and parent id of each record) and the folder count.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "session/tree_model.h"

namespace tessaly {

class Session;
struct ScanState;

namespace folderrecord {
constexpr std::size_t kSize = 546;
constexpr std::size_t kName = 0;  // 510 bytes, NUL-terminated
constexpr std::size_t kNameField = 510;
constexpr std::size_t kTreeItem = 510;
constexpr std::size_t kParentId = 514;
constexpr std::size_t kSelfId = 518;
constexpr std::size_t kDate = 522;  // 8 bytes
constexpr std::size_t kTime = 530;  // 8 bytes
constexpr std::size_t kDeleted = 538;
constexpr std::size_t kNamesResolved = 542;
constexpr std::size_t kNameAccess = 255;  // bytes the name accessors read or write
}  // namespace folderrecord

constexpr const char* kCatalogueFileName = "TYDataFile1.dat";

// One record's fields, read in one go (a convenience over the accessors).
struct FolderRecord {
  std::string name;
  TreeItem treeItem = kNoItem;
  std::uint32_t parentId = 0;
  std::uint32_t selfId = 0;
  std::uint64_t date = 0;
  std::uint64_t time = 0;
  std::uint32_t deleted = 0;
  std::uint32_t namesResolved = 0;
};

struct FolderNode {
  TreeItem treeItem;
  std::uint32_t parentId;
};

class ScanCatalogue {
 public:
  enum class Field { Item, SelfId, ParentId, Date, Time, Deleted, NamesResolved };
  using NameBuffer = std::array<char, folderrecord::kNameAccess>;

  ScanCatalogue() = default;
  ~ScanCatalogue();
  ScanCatalogue(const ScanCatalogue&) = delete;
  ScanCatalogue& operator=(const ScanCatalogue&) = delete;

  // The folder the file goes into (normally the installation folder).
  void setFolder(const std::string& folder) { folder_ = folder; }
  const std::string& path() const { return path_; }

  // Prepares the path and removes an old file: up to ten names are tried, the digit
  // before ".dat" going up by one each time an old file cannot be deleted. When every
  // try fails, "Failed to create Information file" ends the program.
  void createInformationFile(Session& session);
  // Appends one record (namesResolved 0); creates and opens the file when it does not
  // exist. When it cannot be opened nothing is written.
  void appendFolderRecord(TreeItem treeItem, const std::string& name, std::uint32_t parentId,
                          std::uint32_t selfId, std::uint64_t date, std::uint64_t time,
                          std::uint32_t deleted);
  void close();

  // The accessors. A first-accessor reads record 0 and leaves the cursor at record 1; a
  // next-accessor reads the record at the cursor (lastRecord = cursor) and advances it,
  // or returns 0 and leaves the cursor when it is at or past the end.
  std::uint64_t first(Field field);
  std::uint64_t next(Field field);
  // Deleted and namesResolved: mode 'r' reads; any other mode writes value. In write
  // mode the deleted accessors return the value written, namesResolved ones return 0.
  std::uint32_t firstFlag(Field field, char mode, std::uint32_t value = 0);
  std::uint32_t nextFlag(Field field, char mode, std::uint32_t value = 0);
  // The first 255 bytes of the name: read into, or (mode other than 'r') write from, buffer.
  void firstName(char mode, NameBuffer& buffer);
  void nextName(char mode, NameBuffer& buffer);

  bool hasMoreRecords();
  std::uint64_t catalogueLength();
  std::uint32_t cursor() const { return cursor_; }
  void setCursor(std::uint32_t offset) { cursor_ = offset; }
  std::uint32_t lastRecord() const { return lastRecord_; }
  std::size_t recordCount() { return static_cast<std::size_t>(catalogueLength() / folderrecord::kSize); }

  // Walks the catalogue for the record of a tree item; lastRecord then addresses it.
  bool findTreeItem(TreeItem item, FolderRecord* out = nullptr);
  // Every field of record n, without touching the cursor.
  bool readRecord(std::size_t n, FolderRecord& out);

  // The FolderNode list, the folder count and the tree-building flag.
  std::vector<FolderNode> nodes;
  std::int32_t folderCount = 0;
  std::atomic<std::uint32_t> treeBuilding{0};

  bool isOpen() const { return fd_ >= 0; }

 private:
  bool ensureOpen(bool create);
  std::uint64_t readField(std::size_t record, Field field);
  void writeField(std::size_t record, Field field, std::uint32_t value);
  std::uint32_t flagAccess(std::size_t recordOffset, Field field, char mode, std::uint32_t value);

  std::string folder_;
  std::string path_;
  int fd_ = -1;
  bool failed_ = false;
  // The file's bytes, kept in step with every write so reads cost no system call.
  std::vector<std::uint8_t> bytes_;
  // The record of each tree item (the first, should one appear twice), kept with bytes_.
  std::unordered_map<TreeItem, std::size_t> itemIndex_;
  void indexRecord(std::size_t n);
  std::uint32_t cursor_ = 0;
  std::uint32_t lastRecord_ = 0;
};

// Inserts a folder item under parent, gives it and the root the unchecked box, expands
// the parent, appends its FolderRecord and FolderNode (the first insert of a new tree
// starts a new information file) and counts it. Returns the new item.
TreeItem insertFolder(Session& session, ScanState& scan, TreeItem parent, const std::string& name,
                      std::uint32_t selfId, std::uint64_t date, std::uint64_t time,
                      std::uint32_t parentId, std::uint32_t deleted);

}  // namespace tessaly
