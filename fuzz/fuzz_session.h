// What the fuzz targets share: a session over one disk held in memory, with a silent
// front end whose every question has an answer (bad sectors skipped, nothing replaced,
// no folder chosen), and a private settings and scratch folder for the process.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/device.h"
#include "recovery/folder_contents.h"
#include "session/dialogs.h"
#include "session/report.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly::fuzz {

class AnsweringDialogs final : public Dialogs {
 public:
  int messageBox(const std::string&, const std::string&, MessageButtons buttons,
                 MessageIcon) override {
    return buttons == MessageButtons::YesNo ? kIdNo : kIdOk;
  }
  BadSectorAnswer askBadSector() override { return BadSectorAnswer::SkipAll; }
  ReplaceAnswer askReplace(const std::string&) override { return ReplaceAnswer::NoToAll; }
  WriteErrorAnswer askErrorWriting(const std::string&) override { return WriteErrorAnswer::Abort; }
  std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
  std::optional<std::string> chooseSaveFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> chooseOpenFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

// A folder of this process for settings and scan catalogues, made once.
inline const std::string& scratchFolder() {
  static const std::string folder = [] {
    std::string path = "/tmp/tessaly-fuzz-XXXXXX";
    if (!::mkdtemp(path.data())) return std::string("/tmp");
    ::setenv("TESSALY_HOME", path.c_str(), 1);
    return path;
  }();
  return folder;
}

// A disk of `size` bytes whose first bytes are the fuzzer's input and the rest zeros,
// without holding the zeros: a volume of many MB costs no more than its input.
class ZeroExtendedDevice final : public platform::Device {
 public:
  ZeroExtendedDevice(std::span<const std::uint8_t> head, std::uint64_t size)
      : head_(head.begin(), head.end()), size_(std::max<std::uint64_t>(size, head.size())) {}
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
    if (offset > size_ || buffer.size() > size_ - offset) return false;
    std::fill(buffer.begin(), buffer.end(), 0);
    if (offset < head_.size()) {
      const std::size_t n = std::min<std::uint64_t>(buffer.size(), head_.size() - offset);
      std::copy_n(head_.begin() + static_cast<std::ptrdiff_t>(offset), n, buffer.begin());
    }
    return true;
  }
  std::uint64_t size() const override { return size_; }

 private:
  std::vector<std::uint8_t> head_;
  std::uint64_t size_;
};

// A session whose disk (slot 0, and the floppy drive) is the input followed by zeros up
// to `sectors` sectors (at least the input, rounded up to whole sectors).
struct FuzzSession {
  FuzzSession(std::span<const std::uint8_t> input, std::uint64_t sectors = 0) {
    scratchFolder();
    const std::uint64_t inputSectors = std::max<std::uint64_t>(1, (input.size() + 511) / 512);
    device = std::make_shared<ZeroExtendedDevice>(input, std::max(sectors, inputSectors) * 512);
    devices.attach(platform::DeviceTable::physicalDriveName(0), device);
    devices.attach(platform::DeviceTable::floppyName(), device);
    session.selectedDisk = 0;
    session.selectedDiskName = "Disk0";
    session.scratchFolder = scratchFolder();
    session.badSectorPolicy = BadSectorAnswer::SkipAll;
  }
  std::uint64_t sectors() const { return device->size() / 512; }

  std::shared_ptr<ZeroExtendedDevice> device;
  platform::DeviceTable devices;
  NullReport report;
  AnsweringDialogs dialogs;
  Session session{devices, report, dialogs};
  ScanState scan;
};

// Lists every folder of the scan's tree, as a user opening each in turn would (64 levels
// deep at most).
inline void listEveryFolder(FuzzSession& s) {
  const TreeModel& tree = s.scan.folderTree;
  std::function<void(TreeItem, int)> list = [&](TreeItem item, int depth) {
    (void)listFolder(s.session, s.scan, item);
    if (depth < 64)
      for (TreeItem child : tree.children(item)) list(child, depth + 1);
  };
  if (tree.root() != kNoItem) list(tree.root(), 0);
}

}  // namespace tessaly::fuzz
