#include "fat/catalogue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disk/le.h"
#include "disk/name_text.h"
#include "platform/file_io.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace fr = folderrecord;

namespace {

std::size_t fieldOffset(ScanCatalogue::Field field) {
  switch (field) {
    case ScanCatalogue::Field::Item: return fr::kTreeItem;
    case ScanCatalogue::Field::SelfId: return fr::kSelfId;
    case ScanCatalogue::Field::ParentId: return fr::kParentId;
    case ScanCatalogue::Field::Date: return fr::kDate;
    case ScanCatalogue::Field::Time: return fr::kTime;
    case ScanCatalogue::Field::Deleted: return fr::kDeleted;
    case ScanCatalogue::Field::NamesResolved: return fr::kNamesResolved;
  }
  return 0;
}

bool isWide(ScanCatalogue::Field field) {
  return field == ScanCatalogue::Field::Date || field == ScanCatalogue::Field::Time;
}

}  // namespace

ScanCatalogue::~ScanCatalogue() { close(); }

void ScanCatalogue::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  bytes_.clear();
  itemIndex_.clear();
}

void ScanCatalogue::indexRecord(std::size_t n) {
  itemIndex_.emplace(static_cast<TreeItem>(u32le(bytes_, n * fr::kSize + fr::kTreeItem)), n);
}

void ScanCatalogue::createInformationFile(Session& session) {
  path_ = folder_.empty() ? std::string(kCatalogueFileName) : folder_ + "/" + kCatalogueFileName;
  for (int attempt = 0; attempt < 10; ++attempt) {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0) return;  // no old file
    ::chmod(path_.c_str(), 0644);                   // attributes to normal
    if (::unlink(path_.c_str()) == 0) return;
    // The old file cannot be deleted: try the name with the next digit.
    path_[path_.size() - 5] = static_cast<char>(path_[path_.size() - 5] + 1);
  }
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0) {
    session.messageBox("Failed to create Information file", MessageButtons::Ok, MessageIcon::Error);
    session.endProgram(1);
  }
}

bool ScanCatalogue::ensureOpen(bool create) {
  if (fd_ >= 0) return true;
  if (path_.empty()) return false;
  int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
  fd_ = ::open(path_.c_str(), flags, 0644);
  if (fd_ < 0) return false;
  // Take the file's present contents (an accessor may open a file appended before).
  bytes_.clear();
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && st.st_size > 0) {
    bytes_.resize(static_cast<std::size_t>(st.st_size));
    if (::pread(fd_, bytes_.data(), bytes_.size(), 0) != static_cast<ssize_t>(bytes_.size()))
      bytes_.clear();
  }
  itemIndex_.clear();
  for (std::size_t n = 0; n < bytes_.size() / fr::kSize; ++n) indexRecord(n);
  return true;
}

void ScanCatalogue::appendFolderRecord(TreeItem treeItem, const std::string& name,
                                       std::uint32_t parentId, std::uint32_t selfId,
                                       std::uint64_t date, std::uint64_t time,
                                       std::uint32_t deleted) {
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) close();  // a new file: create it
  if (!ensureOpen(true)) return;
  std::array<std::uint8_t, fr::kSize> record{};
  // A name longer than the field holds is cut to 509 bytes, never inside a character.
  const std::string_view stored = utf8Prefix(name, fr::kNameField - 1);
  std::memcpy(record.data(), stored.data(), stored.size());
  put32le(record, fr::kTreeItem, treeItem);
  put32le(record, fr::kParentId, parentId);
  put32le(record, fr::kSelfId, selfId);
  put64le(record, fr::kDate, date);
  put64le(record, fr::kTime, time);
  put32le(record, fr::kDeleted, deleted);
  put32le(record, fr::kNamesResolved, 0);
  const std::size_t at = bytes_.size();
  if (!platform::writeAllAt(fd_, record.data(), record.size(), at)) return;
  bytes_.insert(bytes_.end(), record.begin(), record.end());
  indexRecord(at / fr::kSize);
}

std::uint64_t ScanCatalogue::readField(std::size_t recordOffset, Field field) {
  const std::size_t at = recordOffset + fieldOffset(field);
  return isWide(field) ? u64le(bytes_, at) : u32le(bytes_, at);
}

void ScanCatalogue::writeField(std::size_t recordOffset, Field field, std::uint32_t value) {
  const std::size_t at = recordOffset + fieldOffset(field);
  if (!fits(bytes_, at, 4)) return;
  put32le(bytes_, at, value);
  platform::writeAllAt(fd_, bytes_.data() + at, 4, at);
}

std::uint64_t ScanCatalogue::first(Field field) {
  if (!ensureOpen(false)) return 0;
  cursor_ = 0;
  if (field == Field::Item) lastRecord_ = 0;
  std::uint64_t v = readField(0, field);
  cursor_ = fr::kSize;
  return v;
}

std::uint64_t ScanCatalogue::next(Field field) {
  if (!ensureOpen(false)) return 0;
  if (cursor_ >= bytes_.size()) return 0;
  lastRecord_ = cursor_;
  std::uint64_t v = readField(cursor_, field);
  cursor_ += fr::kSize;
  return v;
}

std::uint32_t ScanCatalogue::flagAccess(std::size_t recordOffset, Field field, char mode,
                                        std::uint32_t value) {
  if (mode == 'r') return static_cast<std::uint32_t>(readField(recordOffset, field));
  writeField(recordOffset, field, value);
  return field == Field::Deleted ? value : 0;
}

std::uint32_t ScanCatalogue::firstFlag(Field field, char mode, std::uint32_t value) {
  if (!ensureOpen(false)) return 0;
  cursor_ = 0;
  if (bytes_.empty()) {
    cursor_ = fr::kSize;
    return 0;
  }
  std::uint32_t v = flagAccess(0, field, mode, value);
  cursor_ = fr::kSize;
  return v;
}

std::uint32_t ScanCatalogue::nextFlag(Field field, char mode, std::uint32_t value) {
  if (!ensureOpen(false)) return 0;
  if (cursor_ >= bytes_.size()) return 0;
  lastRecord_ = cursor_;
  std::uint32_t v = flagAccess(cursor_, field, mode, value);
  cursor_ += fr::kSize;
  return v;
}

namespace {

void nameAccess(std::vector<std::uint8_t>& bytes, int fd, std::size_t recordOffset, char mode,
                ScanCatalogue::NameBuffer& buffer) {
  if (!fits(bytes, recordOffset, fr::kNameAccess)) return;
  if (mode == 'r') {
    std::memcpy(buffer.data(), bytes.data() + recordOffset, fr::kNameAccess);
  } else {
    std::memcpy(bytes.data() + recordOffset, buffer.data(), fr::kNameAccess);
    platform::writeAllAt(fd, bytes.data() + recordOffset, fr::kNameAccess, recordOffset);
  }
}

}  // namespace

void ScanCatalogue::firstName(char mode, NameBuffer& buffer) {
  if (!ensureOpen(false)) return;
  cursor_ = 0;
  nameAccess(bytes_, fd_, 0, mode, buffer);
  cursor_ = fr::kSize;
}

void ScanCatalogue::nextName(char mode, NameBuffer& buffer) {
  if (!ensureOpen(false)) return;
  if (cursor_ >= bytes_.size()) return;
  lastRecord_ = cursor_;
  nameAccess(bytes_, fd_, cursor_, mode, buffer);
  cursor_ += fr::kSize;
}

bool ScanCatalogue::hasMoreRecords() {
  if (!ensureOpen(false)) return false;
  return cursor_ < bytes_.size();
}

std::uint64_t ScanCatalogue::catalogueLength() {
  if (!ensureOpen(false)) return 0;
  return bytes_.size();
}

bool ScanCatalogue::readRecord(std::size_t n, FolderRecord& out) {
  if (!ensureOpen(false)) return false;
  const std::size_t at = n * fr::kSize;
  if (!fits(bytes_, at, fr::kSize)) return false;
  const char* name = reinterpret_cast<const char*>(bytes_.data() + at);
  out.name.assign(name, strnlen(name, fr::kNameField));
  out.treeItem = u32le(bytes_, at + fr::kTreeItem);
  out.parentId = u32le(bytes_, at + fr::kParentId);
  out.selfId = u32le(bytes_, at + fr::kSelfId);
  out.date = u64le(bytes_, at + fr::kDate);
  out.time = u64le(bytes_, at + fr::kTime);
  out.deleted = u32le(bytes_, at + fr::kDeleted);
  out.namesResolved = u32le(bytes_, at + fr::kNamesResolved);
  return true;
}

bool ScanCatalogue::findTreeItem(TreeItem item, FolderRecord* out) {
  // The walk from the first record, answered from the index: the cursor and lastRecord
  // end where the walk would leave them.
  if (!ensureOpen(false)) return false;
  const std::size_t records = bytes_.size() / fr::kSize;
  auto found = itemIndex_.find(item);
  if (found == itemIndex_.end() || found->second >= records) {
    cursor_ = static_cast<std::uint32_t>(bytes_.size());
    if (records > 0) lastRecord_ = static_cast<std::uint32_t>((records - 1) * fr::kSize);
    return false;
  }
  lastRecord_ = static_cast<std::uint32_t>(found->second * fr::kSize);
  cursor_ = lastRecord_ + static_cast<std::uint32_t>(fr::kSize);
  if (out) readRecord(found->second, *out);
  return true;
}

TreeItem insertFolder(Session& session, ScanState& scan, TreeItem parent, const std::string& name,
                      std::uint32_t selfId, std::uint64_t date, std::uint64_t time,
                      std::uint32_t parentId, std::uint32_t deleted) {
  TreeModel& tree = scan.folderTree;
  ScanCatalogue& catalogue = scan.catalogue;
  TreeItem item = tree.insert(parent, name, kImageClosedFolder, kImageClosedFolder);
  tree.setState(item, kUnchecked);
  tree.setState(tree.root(), kUnchecked);
  catalogue.treeBuilding = 1;
  tree.expand(parent);
  if (catalogue.nodes.empty()) {
    catalogue.close();
    catalogue.setFolder(session.catalogueFolder());
    catalogue.createInformationFile(session);
  }
  catalogue.appendFolderRecord(item, name, parentId, selfId, date, time, deleted);
  catalogue.nodes.push_back({item, parentId});
  ++catalogue.folderCount;
  return item;
}

}  // namespace tessaly
