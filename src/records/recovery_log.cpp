#include "records/recovery_log.h"

#include <array>

namespace tessaly {

namespace {

// The twelve numbers of a parameter record in their stored order: the eight FAT ones,
// then the four NTFS ones.
constexpr std::array<std::uint32_t VolumeParameters::*, 12> kParameterOrder = {
    &VolumeParameters::fatSectors,     &VolumeParameters::sectorsPerCluster,
    &VolumeParameters::rootDirSectors, &VolumeParameters::rootDirStart,
    &VolumeParameters::reservedSectors, &VolumeParameters::cluster0Sector,
    &VolumeParameters::fat1Start,      &VolumeParameters::fat2Start,
    &VolumeParameters::mftStart,       &VolumeParameters::mftMirrorStart,
    &VolumeParameters::mftRecordSectors, &VolumeParameters::indexBufferSectors,
};

// A text as it is stored: up to its first NUL (the reader stops there too), cut to
// maxBytes before a whole character.
std::string_view storedText(std::string_view text, std::size_t maxBytes) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return utf8Prefix(text, maxBytes);
}

class Writer {
 public:
  void bytes(std::string_view text) { out_.insert(out_.end(), text.begin(), text.end()); }
  void u8(std::uint8_t v) { out_.push_back(v); }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
  }
  // The 2 x N bytes of a counted text: the text, its 0 and zero filler.
  void textBody(std::string_view text) {
    bytes(text);
    out_.insert(out_.end(), text.size(), 0);
  }
  void longText(std::string_view text) {
    const std::string_view t = storedText(text, kMaxLogText);
    u32(static_cast<std::uint32_t>(t.size()));
    textBody(t);
  }
  void shortText(std::string_view text) {
    const std::string_view t = storedText(text, kMaxShortLogText);
    u8(static_cast<std::uint8_t>(t.size()));
    textBody(t);
  }
  void parameters(const VolumeParameters& p) {
    for (auto field : kParameterOrder) u32(p.*field);
  }
  std::vector<std::uint8_t> take() { return std::move(out_); }

 private:
  std::vector<std::uint8_t> out_;
};

class Reader {
 public:
  explicit Reader(ByteSpan bytes) : bytes_(bytes) {}

  bool failed() const { return error_ != LogError::None; }
  LogError error() const { return error_; }
  std::size_t errorOffset() const { return errorOffset_; }
  std::size_t remaining() const { return bytes_.size() - off_; }

  bool take(std::size_t n) {
    if (failed()) return false;
    if (!fits(bytes_, off_, n)) return fail(LogError::Truncated);
    off_ += n;
    return true;
  }
  bool fail(LogError error) {
    if (!failed()) {
      error_ = error;
      errorOffset_ = off_;
    }
    return false;
  }
  std::uint8_t u8() { return take(1) ? bytes_[off_ - 1] : 0; }
  std::uint32_t u32() { return take(4) ? u32le(bytes_, off_ - 4) : 0; }
  std::uint64_t u64() { return take(8) ? u64le(bytes_, off_ - 8) : 0; }
  bool magic() {
    if (!bytesEqual(bytes_, 0, kRecoveryLogMagic)) return fail(LogError::BadMagic);
    return take(kRecoveryLogMagic.size());
  }
  // The 2 x n bytes of a counted text; the text ends at its first NUL.
  std::string textBody(std::size_t n) {
    const std::size_t start = off_;
    if (n > remaining() / 2) {
      fail(LogError::Truncated);
      return {};
    }
    take(2 * n);
    std::string_view text(reinterpret_cast<const char*>(bytes_.data() + start), n);
    return std::string(text.substr(0, text.find('\0')));
  }
  std::string longText() {
    const std::size_t start = off_;
    const std::uint32_t n = u32();
    if (failed()) return {};
    if (n > kMaxLogText) {
      off_ = start;
      fail(LogError::TextTooLong);
      return {};
    }
    return textBody(n);
  }
  std::string shortText() {
    const std::uint8_t n = u8();
    return failed() ? std::string() : textBody(n);
  }
  void parameters(VolumeParameters& p) {
    for (auto field : kParameterOrder) p.*field = u32();
  }
  // A record count that the remaining bytes can hold at minBytes each.
  std::uint32_t count(std::size_t minBytes) {
    const std::size_t start = off_;
    const std::uint32_t n = u32();
    if (!failed() && n > remaining() / minBytes) {
      off_ = start;
      fail(LogError::CountTooLarge);
      return 0;
    }
    return n;
  }

  FolderRecord folder() {
    FolderRecord f;
    const std::size_t start = off_;
    const std::uint32_t length = u32();
    if (failed()) return f;
    if (length < 25 || length - 25 > kMaxShortLogText) {
      off_ = start;
      fail(length < 25 ? LogError::BadRecordLength : LogError::TextTooLong);
      return f;
    }
    f.name = textBody(length - 25);
    f.selfId = u32();
    f.parentId = u32();
    f.date = u64();
    f.time = u64();
    f.deleted = u8();
    return f;
  }

  LoggedFile file() {
    LoggedFile f;
    f.name = longText();
    f.sector = u32();
    f.recordNumber = u32();
    f.parentNumber = u32();
    f.time = u64();
    f.size = u64();
    f.deleted = u32();
    return f;
  }

 private:
  ByteSpan bytes_;
  std::size_t off_ = 0;
  LogError error_ = LogError::None;
  std::size_t errorOffset_ = 0;
};

bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

void setLogChoice(RecoveryLog& log, const std::string& diskModel, int recoveryMode,
                  const PartitionSelection& selection, const VolumeParameters& computed,
                  const VolumeParameters& working) {
  log.diskModel = diskModel;
  log.recoveryMode = static_cast<std::uint8_t>(recoveryMode);
  log.selectedDisk = static_cast<std::uint8_t>(selection.selectedDisk);
  log.diskNumber = static_cast<std::uint8_t>(selection.diskNumber);
  log.partitionIndex = static_cast<std::uint8_t>(selection.partitionIndex);
  log.fileSystem = std::string(fileSystemName(selection.fileSystem));
  log.searchMode = selection.searchMode;
  log.firstSector = selection.firstSector;
  log.lastSector = selection.lastSector;
  log.computed = computed;
  log.working = working;
}

std::vector<std::uint8_t> encodeRecoveryLog(const RecoveryLog& log) {
  Writer w;
  w.bytes(kRecoveryLogMagic);
  w.longText(log.diskModel);
  w.u8(log.recoveryMode);
  w.u8(log.selectedDisk);
  w.u8(log.diskNumber);
  w.u8(log.partitionIndex);
  w.shortText(log.fileSystem);
  w.shortText(log.searchMode);
  w.u64(log.firstSector);
  w.u64(log.lastSector);
  w.parameters(log.computed);
  w.parameters(log.working);
  w.shortText(fileSystemName(log.working.fileSystem));
  w.u32(static_cast<std::uint32_t>(log.folders.size()));
  for (const FolderRecord& f : log.folders) {
    const std::string_view name = storedText(f.name, kMaxShortLogText);
    w.u32(static_cast<std::uint32_t>(name.size() + 25));
    w.textBody(name);
    w.u32(f.selfId);
    w.u32(f.parentId);
    w.u64(f.date);
    w.u64(f.time);
    w.u8(static_cast<std::uint8_t>(f.deleted));
  }
  if (log.hasFileEntries()) {
    w.u32(static_cast<std::uint32_t>(log.files.size()));
    for (const LoggedFile& f : log.files) {
      w.longText(f.name);
      w.u32(f.sector);
      w.u32(f.recordNumber);
      w.u32(f.parentNumber);
      w.u64(f.time);
      w.u64(f.size);
      w.u32(f.deleted);
    }
  }
  return w.take();
}

DecodedLog decodeRecoveryLog(ByteSpan bytes) {
  DecodedLog result;
  RecoveryLog& log = result.log;
  Reader r(bytes);
  r.magic();
  log.diskModel = r.longText();
  log.recoveryMode = r.u8();
  log.selectedDisk = r.u8();
  log.diskNumber = r.u8();
  log.partitionIndex = r.u8();
  log.fileSystem = r.shortText();
  log.searchMode = r.shortText();
  log.firstSector = r.u64();
  log.lastSector = r.u64();
  r.parameters(log.computed);
  r.parameters(log.working);
  log.working.fileSystem = fileSystemFromName(r.shortText());
  const std::uint32_t folders = r.count(kFolderRecordFixedBytes);
  log.folders.reserve(folders);
  for (std::uint32_t i = 0; i < folders && !r.failed(); ++i) log.folders.push_back(r.folder());
  if (!r.failed() && log.hasFileEntries()) {
    const std::uint32_t files = r.count(kFileEntryFixedBytes);
    log.files.reserve(files);
    for (std::uint32_t i = 0; i < files && !r.failed(); ++i) log.files.push_back(r.file());
  }
  result.error = r.error();
  result.errorOffset = r.errorOffset();
  return result;
}

PartitionSelection selectionFromLog(const RecoveryLog& log, const PartitionSelection& current) {
  PartitionSelection s = current;
  s.diskNumber = current.selectedDisk;
  s.partitionIndex = (current.partitionIndex & ~std::uint32_t{0xFF}) | log.partitionIndex;
  s.fileSystem = fileSystemFromName(log.fileSystem);
  s.searchMode = log.searchMode;
  s.firstSector = log.firstSector;
  s.lastSector = log.lastSector;
  return s;
}

bool sameDiskModel(std::string_view loggedModel, std::string_view currentModel) {
  return loggedModel == currentModel;
}

SaveLogName saveLogName(std::string_view chosenPath) {
  const std::size_t slash = chosenPath.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  SaveLogName result;
  result.path = std::string(chosenPath);
  for (std::size_t i = nameStart; i < result.path.size(); ++i) {
    char& c = result.path[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  constexpr std::size_t kMaxFileName = 255;
  if (!endsWith(result.path, "SAV") && result.path.size() - nameStart + 4 <= kMaxFileName) {
    result.path += ".SAV";
    result.extensionAppended = true;
  }
  result.validExtension = endsWith(result.path, "SAV");
  return result;
}

}  // namespace tessaly
