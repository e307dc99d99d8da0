// The FAT and NTFS test disks inside E01, VHD, VHDX, VMDK and QCOW2 files written by
// ewfacquire and qemu-img: the device table reads the very bytes of the raw disk from them,
// the CLI scans them as it scans the raw disk, and a damaged container is refused with its
// reason or fails its reads, never hands back other bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/device.h"
#include "platform/image_formats.h"
#include "support/test_support.h"

#ifdef TESSALY_HAVE_LIBEWF
#include <libewf.h>
#endif

namespace tessaly::platform {
namespace {

namespace fs = std::filesystem;

struct Container {
  const char* suffix;  // after "<disk>_containers" in the test images folder
  ImageFormat format;
};

const Container kContainers[] = {
    {".E01", ImageFormat::Ewf},          {".fixed.vhd", ImageFormat::FixedVhd},
    {".dynamic.vhd", ImageFormat::Vhd},  {".vhdx", ImageFormat::Vhdx},
    {".vmdk", ImageFormat::Vmdk},        {".qcow2", ImageFormat::Qcow},
};

void PrintTo(const Container& c, std::ostream* out) { *out << c.suffix; }

std::string containerOf(const std::string& disk, const Container& c) {
  return fs::path(test::imagePath(disk)).parent_path().string() + "/" + disk + "_containers" + c.suffix;
}

// Opens a path the way the programs do: as slot 0 of a device table.
std::shared_ptr<Device> openAsDisk(const std::string& path, std::string& error) {
  auto table = DeviceTable::fromPaths({path});
  auto device = table.open(DeviceTable::physicalDriveName(0));
  error = table.openError(DeviceTable::physicalDriveName(0));
  return device;
}

std::string unreadableMessage(ImageFormat f) {
  return std::string("image; this build of Tessaly cannot read ") + imageFormatName(f) + " images";
}

struct Comparison {
  std::uint64_t failed = 0, differing = 0;  // 4 KiB pieces that failed to read, that read other bytes
};

// Reads the device in 4 KiB pieces beside the raw image, over [first, end) of its bytes.
Comparison compareWithRaw(Device& device, Device& raw, std::uint64_t first, std::uint64_t end) {
  Comparison c;
  std::vector<std::uint8_t> want(4096), got(4096);
  for (std::uint64_t at = first; at < end; at += want.size()) {
    if (!raw.read(at, want)) ADD_FAILURE() << "raw image unreadable at " << at;
    if (!device.read(at, got))
      ++c.failed;
    else if (std::memcmp(want.data(), got.data(), got.size()) != 0)
      ++c.differing;
  }
  return c;
}

// The whole device against the raw image, its two halves read at once from two threads.
Comparison compareWholeWithRaw(Device& device, const std::string& rawPath) {
  auto raw = FileDevice::open(rawPath);
  if (!raw) {
    ADD_FAILURE() << rawPath;
    return {};
  }
  const std::uint64_t half = raw->size() / 2 / 4096 * 4096;
  Comparison low, high;
  {
    std::jthread other([&] { high = compareWithRaw(device, *raw, half, raw->size()); });
    low = compareWithRaw(device, *raw, 0, half);
  }
  return {low.failed + high.failed, low.differing + high.differing};
}

class ContainerImage : public ::testing::TestWithParam<Container> {};

TEST_P(ContainerImage, HoldsTheRawDiskByteForByte) {
  const Container c = GetParam();
  // The NTFS disk also under another name: what a container says its own file is called
  // does not matter.
  test::TempDir dir;
  const std::string renamed = dir.file(std::string("renamed") + c.suffix);
  fs::create_symlink(containerOf("ntfs_files", c), renamed);
  for (const auto& [disk, path] : {std::pair<std::string, std::string>{"fat_disk", containerOf("fat_disk", c)},
                                   {"ntfs_files", renamed}}) {
    std::string error;
    auto device = openAsDisk(path, error);
    if (!imageFormatAvailable(c.format)) {
      EXPECT_FALSE(device);
      EXPECT_NE(error.find(unreadableMessage(c.format)), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(device) << disk << c.suffix << ": " << error;
    const std::string raw = test::imagePath(disk);
    ASSERT_EQ(device->size(), fs::file_size(raw)) << disk << c.suffix;
    const Comparison result = compareWholeWithRaw(*device, raw);
    EXPECT_EQ(result.failed, 0u) << disk << c.suffix;
    EXPECT_EQ(result.differing, 0u) << disk << c.suffix;
    std::vector<std::uint8_t> past(512);
    EXPECT_FALSE(device->read(device->size() - 256, past)) << "a read past the end of the disk";
  }
}

// tessaly-cli as the tests run it; the output of both streams and the exit status.
std::string cli(const test::TempDir& dir, const std::string& args) {
  return test::run("TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() + "/tessaly-cli' " + args +
                   " 2>&1 </dev/null; echo \"exit $?\"");
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

TEST_P(ContainerImage, ScansLikeTheRawDisk) {
  const Container c = GetParam();
  test::TempDir dir;
  const std::pair<std::string, int> partitions[] = {{"fat_disk", 1}, {"fat_disk", 2}, {"ntfs_files", 1}};
  for (const auto& [disk, partition] : partitions) {
    const std::string args = " --partition " + std::to_string(partition) + " --json";
    const std::string raw = test::imagePath(disk), container = containerOf(disk, c);
    const std::string want = cli(dir, "scan '" + raw + "'" + args);
    ASSERT_NE(want.find("\"tree\""), std::string::npos) << want;
    const std::string got = cli(dir, "scan '" + container + "'" + args);
    if (!imageFormatAvailable(c.format)) {
      EXPECT_NE(got.find(unreadableMessage(c.format)), std::string::npos) << got;
      EXPECT_NE(got.find("exit 1"), std::string::npos) << got;
      continue;
    }
    EXPECT_EQ(replaceAll(got, container, raw), want) << disk << c.suffix << " partition " << partition;
  }
}

// A copy of a container with the bytes of [first, end) zeroed, or cut at end when first == end.
std::string damagedCopy(const test::TempDir& dir, const std::string& from, std::uint64_t first, std::uint64_t end) {
  const std::string to = dir.file("damaged" + fs::path(from).extension().string());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  if (first == end) {
    fs::resize_file(to, end);
  } else {
    std::fstream file(to, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(first));
    const std::vector<char> zeros(end - first, 0);
    file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
  return to;
}

TEST_P(ContainerImage, DamagedIsRefusedWithItsReasonOrFailsItsReadsButNeverLies) {
  const Container c = GetParam();
  if (!imageFormatAvailable(c.format)) GTEST_SKIP() << "no library for " << imageFormatName(c.format);
  test::TempDir dir;
  const std::string source = containerOf("ntfs_files", c);
  const std::uint64_t size = fs::file_size(source);
  // A fixed VHD with a damaged footer is no longer known to be fixed: libvhdi judges it.
  const std::string reason = c.format == ImageFormat::FixedVhd && !imageFormatAvailable(ImageFormat::Vhd)
                                 ? unreadableMessage(ImageFormat::Vhd)
                                 : std::string("this ") + imageFormatName(c.format) + " image is damaged or incomplete";

  // Its header (a fixed VHD's footer) zeroed past the signature: refused at open.
  const std::string header = c.format == ImageFormat::FixedVhd
                                 ? damagedCopy(dir, source, size - 504, size)
                                 : damagedCopy(dir, source, 8, std::min<std::uint64_t>(size, 384 * 1024));
  std::string error;
  EXPECT_FALSE(openAsDisk(header, error));
  EXPECT_NE(error.find(reason), std::string::npos) << error;
  const std::string out = cli(dir, "scan '" + header + "' --partition 1");
  EXPECT_NE(out.find("cannot open " + header + " for reading: "), std::string::npos) << out;
  EXPECT_NE(out.find(reason), std::string::npos) << out;
  EXPECT_NE(out.find("exit 1"), std::string::npos) << out;

  // Cut near the middle, inside a cluster: refused at open, or what is missing fails to read.
  // A fixed VHD cut short has lost its footer and is a raw image of what is left.
  if (c.format == ImageFormat::FixedVhd) return;
  const std::uint64_t middle = size / 2 / 65536 * 65536 + 33280;
  const std::string cut = damagedCopy(dir, source, middle, middle);
  auto device = openAsDisk(cut, error);
  if (!device) {
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    return;
  }
  const Comparison result = compareWholeWithRaw(*device, test::imagePath("ntfs_files"));
  EXPECT_GT(result.failed, 0u);
  EXPECT_EQ(result.differing, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, ContainerImage, ::testing::ValuesIn(kContainers),
                         [](const auto& param) {
                           std::string name = param.param.suffix + 1;
                           for (char& ch : name)
                             if (ch == '.') ch = '_';
                           return name;
                         });

TEST(EwfImage, ChunksThatFailTheirChecksumReadAsBadSectors) {
  if (!imageFormatAvailable(ImageFormat::Ewf)) GTEST_SKIP() << "no E01 library";
  test::TempDir dir;
  // The uncompressed set of three segments, with 4 bytes of the second's data changed.
  const std::string first = containerOf("fat_disk", kContainers[0]);
  for (const char* ext : {".E01", ".E02", ".E03"})
    fs::copy_file(fs::path(first).replace_extension(ext), dir.file(std::string("disk") + ext));
  {
    std::fstream file(dir.file("disk.E02"), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(10'000'000);
    file.write("\xAA\xBB\xCC\xDD", 4);
  }
  std::string error;
  auto device = openAsDisk(dir.file("disk.E01"), error);
  ASSERT_TRUE(device) << error;
  const Comparison result = compareWholeWithRaw(*device, test::imagePath("fat_disk"));
  // One chunk of 64 sectors: 8 pieces of 4 KiB.
  EXPECT_EQ(result.failed, 8u);
  EXPECT_EQ(result.differing, 0u);

  // Without its second segment the set is refused.
  fs::remove(dir.file("disk.E02"));
  EXPECT_FALSE(openAsDisk(dir.file("disk.E01"), error));
  EXPECT_NE(error.find("this E01 image is damaged or incomplete"), std::string::npos) << error;
}

#ifdef TESSALY_HAVE_LIBEWF
TEST(EwfImage, SectorsThatCouldNotBeAcquiredReadAsBadSectors) {
  // A 1 MiB set written through libewf, each sector filled with its own number, sectors
  // 100 to 102 listed as unreadable when the disk was acquired.
  test::TempDir dir;
  std::vector<std::uint8_t> disk(1 << 20);
  for (std::size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<std::uint8_t>(i / 512);
  std::string base = dir.file("acquired");
  char* names[] = {base.data()};
  libewf_handle_t* handle = nullptr;
  libewf_error_t* error = nullptr;
  ASSERT_EQ(libewf_handle_initialize(&handle, &error), 1);
  ASSERT_EQ(libewf_handle_open(handle, names, 1, LIBEWF_OPEN_WRITE, &error), 1);
  ASSERT_EQ(libewf_handle_set_media_size(handle, disk.size(), &error), 1);
  ASSERT_EQ(libewf_handle_write_buffer(handle, disk.data(), disk.size(), &error), static_cast<ssize_t>(disk.size()));
  ASSERT_EQ(libewf_handle_append_acquiry_error(handle, 100, 3, &error), 1);
  ASSERT_GT(libewf_handle_write_finalize(handle, &error), 0);
  libewf_handle_close(handle, &error);
  libewf_handle_free(&handle, &error);

  std::string why;
  auto device = openAsDisk(base + ".E01", why);
  ASSERT_TRUE(device) << why;
  std::vector<std::uint8_t> sector(512);
  for (std::uint64_t n : {0, 99, 103, 2047}) {
    ASSERT_TRUE(device->read(n * 512, sector)) << n;
    EXPECT_EQ(sector[0], static_cast<std::uint8_t>(n));
  }
  for (std::uint64_t n : {100, 102}) EXPECT_FALSE(device->read(n * 512, sector)) << n;
  std::vector<std::uint8_t> across(4 * 512);
  EXPECT_FALSE(device->read(97 * 512, across));  // 97..100 touches the first bad one
}
#endif

TEST(ImageSignature, TheFormatComesFromTheBytesAtTheStartAndTheEnd) {
  auto bytes = [](std::string_view text, std::size_t size = 512) {
    std::vector<std::uint8_t> b(size, 0);
    std::memcpy(b.data(), text.data(), std::min(text.size(), size));
    return b;
  };
  auto footer = [&](std::uint8_t type) {
    auto b = bytes("conectix");
    b[63] = type;
    return b;
  };
  const std::vector<std::uint8_t> none;
  EXPECT_EQ(imageFormatOf(bytes(std::string_view("EVF\x09\x0d\x0a\xff\x00", 8)), none), ImageFormat::Ewf);
  EXPECT_EQ(imageFormatOf(bytes("EVF\x09\x0d\x0a\xff\x01"), none), ImageFormat::Raw);
  EXPECT_EQ(imageFormatOf(bytes("vhdxfile"), footer(2)), ImageFormat::Vhdx);
  EXPECT_EQ(imageFormatOf(bytes("KDMV"), none), ImageFormat::Vmdk);
  EXPECT_EQ(imageFormatOf(bytes("# Disk DescriptorFile\nversion=1\n"), none), ImageFormat::Vmdk);
  EXPECT_EQ(imageFormatOf(bytes("QFI\xfb"), none), ImageFormat::Qcow);
  EXPECT_EQ(imageFormatOf(bytes("QFI"), none), ImageFormat::Raw);
  // VHD: a fixed disk only by its footer; a dynamic one, a damaged footer, or a file
  // whose end is lost but whose copy of the footer at the start remains, through the library.
  EXPECT_EQ(imageFormatOf(bytes(""), footer(2)), ImageFormat::FixedVhd);
  EXPECT_EQ(imageFormatOf(footer(3), footer(3)), ImageFormat::Vhd);
  EXPECT_EQ(imageFormatOf(bytes(""), footer(0)), ImageFormat::Vhd);
  EXPECT_EQ(imageFormatOf(footer(3), bytes("")), ImageFormat::Vhd);
  EXPECT_EQ(imageFormatOf(bytes("\xeb\x58\x90MSDOS5.0"), bytes("")), ImageFormat::Raw);
  EXPECT_EQ(imageFormatOf(bytes("conectix", 7), none), ImageFormat::Raw);
}

}  // namespace
}  // namespace tessaly::platform
