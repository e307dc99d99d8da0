#include "diskfacts/linux_disk_facts.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/image_formats.h"

namespace tessaly::diskfacts {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> readAttribute(const fs::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  std::string text;
  std::getline(in, text);
  return text;
}

std::optional<std::uint64_t> readNumber(const fs::path& file) {
  auto text = readAttribute(file);
  if (!text) return std::nullopt;
  std::istringstream in(*text);
  std::uint64_t n = 0;
  if (!(in >> n)) return std::nullopt;
  return n;
}

bool startsWithThenDigit(const std::string& s, const std::string& prefix) {
  return s.size() > prefix.size() && s.compare(0, prefix.size(), prefix) == 0 &&
         std::isdigit(static_cast<unsigned char>(s[prefix.size()]));
}

// The bus from the device's place in the sysfs tree. An outer transport (USB, FireWire)
// wins over the SCSI host that the storage driver puts beneath it.
std::string busOf(const fs::path& canonical) {
  bool usb = false, firewire = false, ata = false, nvme = false, virtio = false, mmc = false,
       xen = false, scsi = false;
  for (const auto& part : canonical) {
    const std::string s = part.string();
    if (startsWithThenDigit(s, "usb")) usb = true;
    if (startsWithThenDigit(s, "fw")) firewire = true;
    if (startsWithThenDigit(s, "ata") || startsWithThenDigit(s, "ide")) ata = true;
    if (startsWithThenDigit(s, "nvme")) nvme = true;
    if (startsWithThenDigit(s, "virtio")) virtio = true;
    if (startsWithThenDigit(s, "mmc")) mmc = true;
    if (s.rfind("vbd-", 0) == 0) xen = true;
    if (startsWithThenDigit(s, "host")) scsi = true;
  }
  if (usb) return "usb";
  if (firewire) return "ieee1394";
  if (ata) return "ata";
  if (nvme) return "nvme";
  if (virtio) return "virtio";
  if (mmc) return "mmc";
  if (xen) return "xen";
  if (scsi) return "scsi";
  return "";
}

}  // namespace

SysfsAnswer readSysfsFacts(const std::string& blockDir, LinuxDiskFacts& facts) {
  std::error_code ec;
  const fs::path dir = fs::canonical(blockDir, ec);
  if (ec) return SysfsAnswer::Unreadable;
  auto sectors = readNumber(dir / "size");  // always in 512-byte units
  if (!sectors) return SysfsAnswer::Unreadable;
  // A partition has no device link of its own: its disk is the folder above it.
  const fs::path disk = fs::exists(dir / "partition") ? dir.parent_path() : dir;
  // SCSI peripheral types of disks: 0 direct access, 7 optical memory, 14 simplified.
  if (auto type = readNumber(disk / "device" / "type");
      type && *type != 0 && *type != 7 && *type != 14)
    return SysfsAnswer::NotADisk;

  facts.bytes = *sectors * 512;
  facts.removable = readNumber(disk / "removable").value_or(0) != 0;
  facts.model = readAttribute(disk / "device" / "model").value_or("");
  facts.bus = busOf(dir);
  return SysfsAnswer::Disk;
}

std::optional<LinuxDiskFacts> gatherDiskFacts(unsigned slot, const std::string& path,
                                              const std::string& sysRoot) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  LinuxDiskFacts facts;
  facts.slot = slot;
  if (S_ISREG(st.st_mode)) {
    facts.imageFile = true;
    // A container image holds a disk of its own size; one that cannot be opened keeps the file's.
    const platform::OpenedImage image = platform::openImage(path);
    facts.bytes = image.device ? image.device->size() : static_cast<std::uint64_t>(st.st_size);
    return facts;
  }
  if (!S_ISBLK(st.st_mode)) return std::nullopt;

  const std::string blockDir = sysRoot + "/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                               std::to_string(minor(st.st_rdev));
  const SysfsAnswer answer = readSysfsFacts(blockDir, facts);
  if (answer == SysfsAnswer::NotADisk) return std::nullopt;

  // O_NONBLOCK lets a removable drive without a medium be opened at all.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    hd_geometry geo{};
    if (::ioctl(fd, HDIO_GETGEO, &geo) == 0) {
      facts.heads = geo.heads;
      facts.sectorsPerTrack = geo.sectors;
    }
    if (answer == SysfsAnswer::Unreadable) {
      unsigned long long bytes = 0;
      if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) facts.bytes = bytes;
    }
    ::close(fd);
  }
  return facts;
}

}  // namespace tessaly::diskfacts
