// tessaly-cli recover on damaged images and awkward destinations, as a user runs it: a
// truncated image, files already present, a Ctrl-C in the middle of a file, and a
// destination on the disk being recovered.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct Ran {
  std::string output;
  int status = -1;
};

// The output (stdout and stderr) and exit status of a command, without a terminal.
Ran runStatus(const std::string& command) {
  Ran ran;
  FILE* pipe = ::popen((command + " 2>&1 </dev/null").c_str(), "r");
  if (!pipe) return ran;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) ran.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  ran.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return ran;
}

std::string cli() {
  return "'" + test::stageDir() + "/tessaly-cli'";
}

// A FAT16 volume made by mkfs.fat holding one deleted file, BIG.BIN (listed as _IG.BIN),
// of random bytes; dataOffset is where its data begin in the image.
struct DeletedFile {
  test::TempDir dir;
  std::string image = dir.file("vol.img");
  std::vector<std::uint8_t> content;
  std::uint64_t dataOffset = 0;
  std::uint64_t lastSector = 0;

  DeletedFile(std::size_t bytes, int volumeMiB) {
    content.resize(bytes);
    std::mt19937 random(7);
    for (auto& b : content) b = static_cast<std::uint8_t>(random());
    const std::string source = dir.file("BIG.BIN");
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    test::run("mkfs.fat -F 16 -C '" + image + "' " + std::to_string(volumeMiB * 1024) +
              " >/dev/null");
    test::run("mcopy -i '" + image + "' '" + source + "' ::BIG.BIN && mdel -i '" + image +
              "' ::BIG.BIN");
    fs::remove(source);
    const auto disk = test::readFile(image);
    auto at = std::search(disk.begin(), disk.end(), content.begin(), content.begin() + 4096);
    dataOffset = static_cast<std::uint64_t>(at - disk.begin());
    lastSector = disk.size() / 512 - 1;
  }
  std::string recover(const std::string& out, const std::string& more = "") const {
    return cli() + " recover '" + image + "' --range 0 " + std::to_string(lastSector) +
           " --fs FAT16 --out '" + out + "' --quiet " + more;
  }
};

TEST(HonestRecover, ATruncatedImageGivesIncompleteFilesWithTheirMissingBytes) {
  DeletedFile volume(300 * 1024, 16);
  const std::uint64_t range = volume.content.size();
  fs::resize_file(volume.image, volume.dataOffset + 100 * 512);
  const std::string out = volume.dir.file("out");

  const Ran ran = runStatus(volume.recover(out));
  EXPECT_EQ(ran.status, 3) << ran.output;
  EXPECT_NE(ran.output.find("Recovered 1 file (51200 bytes) into " + out + "; 1 incomplete"),
            std::string::npos)
      << ran.output;
  // The image ends inside the file: it is saved up to the end of the disk, and says so.
  EXPECT_NE(ran.output.find("(its size, " + std::to_string(range) +
                            " bytes, is more than the volume holds; saved up to byte 51200)"),
            std::string::npos)
      << ran.output;
  // What could be read is there, and nothing after it.
  const auto saved = test::readFile(out + "/_IG.BIN");
  ASSERT_EQ(saved.size(), 51200u);
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), volume.content.begin()));

  const Ran json = runStatus(volume.recover(volume.dir.file("json"), "--json"));
  EXPECT_EQ(json.status, 3);
  EXPECT_NE(json.output.find("\"incomplete\":[{\"path\":\"" + volume.dir.file("json") +
                             "/_IG.BIN\",\"truncated\":true,\"missing\":[{\"offset\":51200,\"length\":" +
                             std::to_string(range - 51200) + "}]}]"),
            std::string::npos)
      << json.output;
}

TEST(HonestRecover, FilesAlreadyPresentAreCountedAsKept) {
  DeletedFile volume(20 * 1024, 16);
  const std::string out = volume.dir.file("out");
  const Ran first = runStatus(volume.recover(out));
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_EQ(test::readFile(out + "/_IG.BIN"), volume.content);
  const Ran again = runStatus(volume.recover(out));
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_NE(again.output.find("Recovered 0 files"), std::string::npos) << again.output;
  EXPECT_NE(again.output.find("1 already present, kept; --replace yes-all overwrites"),
            std::string::npos)
      << again.output;
  EXPECT_NE(again.output.find("No terminal to ask"), std::string::npos) << again.output;
}

TEST(HonestRecover, CtrlCWhileSavingLeavesNoPartOfTheFileAndSaysWhatWasDone) {
  DeletedFile volume(96u << 20, 128);
  const std::string out = volume.dir.file("out");
  const std::string part = out + "/._IG.BIN.part";
  const std::string command = volume.recover(out) + " >'" + volume.dir.file("summary") + "' 2>&1";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The signal goes as soon as the file is being written.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!fs::exists(part) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  ::kill(child, SIGINT);
  int raw = 0;
  ::waitpid(child, &raw, 0);
  ASSERT_TRUE(WIFEXITED(raw)) << "ended by the signal itself";
  if (fs::exists(out + "/_IG.BIN") && WEXITSTATUS(raw) == 0)
    GTEST_SKIP() << "the save finished before the signal came";
  EXPECT_EQ(WEXITSTATUS(raw), 130);
  std::ifstream summary(volume.dir.file("summary"));
  const std::string text((std::istreambuf_iterator<char>(summary)),
                         std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Stopped: 0 of 1 files recovered"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(out + "/_IG.BIN"));
  EXPECT_FALSE(fs::exists(part));
}

// tools/make-deep-fat: folders named D nested `depth` deep, a deleted _ILE.TXT at the bottom.
struct DeepVolume {
  test::TempDir dir;
  std::string image = dir.file("deep.img");
  DeepVolume(int depth, const std::string& options = "") {
    test::run("'" + test::sourceDir() + "/tools/make-deep-fat' '" + image + "' " +
              std::to_string(depth) + " " + options);
  }
  Ran recover(const std::string& out, const std::string& more = "") const {
    return runStatus(cli() + " recover '" + image + "' --range 0 65535 --fs FAT16 --quiet --out '" +
                     out + "' " + more);
  }
};

TEST(HonestRecover, ATreeEightThousandFoldersDeepIsSavedDownToItsDeepestFile) {
  DeepVolume volume(8000);
  const std::string out = volume.dir.file("out");
  const Ran ran = volume.recover(out);
  ASSERT_EQ(ran.status, 0) << ran.output;
  EXPECT_NE(ran.output.find("Recovered 1 file (400 bytes)"), std::string::npos) << ran.output;
  // Its path is far longer than the system's limit: the folders are followed one by one.
  int fd = ::open(out.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 8000 && fd >= 0; ++level) {
    const int next = ::openat(fd, "D", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0) << "the folders do not reach 8000 deep";
  const int file = ::openat(fd, "_ILE.TXT", O_RDONLY);
  ::close(fd);
  ASSERT_GE(file, 0);
  char text[64] = {};
  EXPECT_GT(::read(file, text, sizeof text - 1), 0);
  ::close(file);
  EXPECT_EQ(std::string(text).rfind("deep file at depth 8000\n", 0), 0u) << text;
}

TEST(HonestRecover, AFolderWhoseClusterChainLoopsHasItsFilesSavedOnce) {
  DeepVolume volume(3, "--loop");
  // Overwriting allowed: a file met again would be written again, and counted.
  const Ran ran = volume.recover(volume.dir.file("out"), "--replace yes-all");
  EXPECT_EQ(ran.status, 0) << ran.output;
  EXPECT_NE(ran.output.find("Recovered 1 file (400 bytes)"), std::string::npos) << ran.output;
}

// mkfs.fat -a leaves a small volume unaligned: with 64-sector clusters its data area starts
// 37 sectors into the disk, so cluster 0 lies before sector 0.
TEST(HonestRecover, AVolumeWhoseClusterZeroLiesBeforeTheDiskHasItsDeletedFilesSaved) {
  test::TempDir dir;
  const std::string image = dir.file("vol.img"), source = dir.file("S.BIN"), out = dir.file("out");
  std::vector<std::uint8_t> content(30000);
  std::mt19937 random(11);
  for (auto& b : content) b = static_cast<std::uint8_t>(random());
  std::ofstream(source, std::ios::binary)
      .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
  test::run("mkfs.fat -a -F 12 -s 64 -C '" + image + "' 20000 >/dev/null");
  test::run("mmd -i '" + image + "' ::/DIR && mcopy -i '" + image + "' '" + source + "' ::/DIR/S.BIN && mdel -i '" +
            image + "' ::/DIR/S.BIN");
  const Ran listed = runStatus(cli() + " partitions '" + image + "'");
  ASSERT_NE(listed.output.find("cluster 0 at -91"), std::string::npos) << listed.output;
  const Ran ran = runStatus(cli() + " recover '" + image + "' --partition 1 --out '" + out + "' --quiet");
  EXPECT_EQ(ran.status, 0) << ran.output;
  EXPECT_EQ(test::readFile(out + "/DIR/_.BIN"), content);
}

TEST(HonestRecover, ControlCharactersInNtfsNamesNeverReachTheOutputRawNorTheSavedNames) {
  test::Manifest manifest(test::manifestPath("ntfs_files"));
  ASSERT_FALSE(manifest.entries.empty());
  const test::Entry* chosen = nullptr;
  for (const test::Entry& e : manifest.entries)
    if (!e.folder && e.deleted && e.name().size() >= 4 && e.path.find("posix") == std::string::npos)
      chosen = &e;
  ASSERT_NE(chosen, nullptr);
  // The name's first two characters become ESC and U+202E in every copy of it in the record.
  test::TempDir dir;
  const std::string image = dir.file("ntfs.img");
  fs::copy_file(test::imagePath("ntfs_files"), image);
  std::vector<std::uint8_t> disk = test::readFile(image);
  const std::uint64_t at = manifest.recordSector(chosen->record) * 512;
  std::vector<std::uint8_t> utf16;
  for (char c : chosen->name()) utf16.insert(utf16.end(), {static_cast<std::uint8_t>(c), 0});
  int patched = 0;
  for (auto it = disk.begin() + static_cast<long>(at);
       it < disk.begin() + static_cast<long>(at + 1024); ++it) {
    it = std::search(it, disk.begin() + static_cast<long>(at + 1024), utf16.begin(), utf16.end());
    if (it == disk.begin() + static_cast<long>(at + 1024)) break;
    const std::uint8_t controls[] = {0x1B, 0x00, 0x2E, 0x20};
    std::copy(std::begin(controls), std::end(controls), it);
    ++patched;
  }
  ASSERT_GT(patched, 0);
  std::ofstream(image, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(disk.data()), static_cast<std::streamsize>(disk.size()));

  const std::string disk1 = cli() + " scan '" + image + "' --partition 1";
  for (const std::string& command : {disk1, disk1 + " --json"}) {
    const Ran ran = runStatus(command);
    EXPECT_EQ(ran.status, 0) << ran.output;
    EXPECT_EQ(ran.output.find('\x1b'), std::string::npos) << command;
    EXPECT_EQ(ran.output.find("\xe2\x80\xae"), std::string::npos) << command;
    EXPECT_NE(ran.output.find(chosen->name().substr(2)), std::string::npos) << ran.output;
  }
  const std::string out = dir.file("out");
  const Ran saved = runStatus(cli() + " recover '" + image + "' --partition 1 --out '" + out + "'");
  EXPECT_EQ(saved.status, 0) << saved.output;
  bool found = false;
  for (const auto& entry : fs::directory_iterator(out + "/" + chosen->parentPath())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find('\x1b'), std::string::npos);
    EXPECT_EQ(name.find("\xe2\x80\xae"), std::string::npos);
    if (name.rfind("_", 0) == 0 && name.find(chosen->name().substr(2)) != std::string::npos) {
      found = true;
      EXPECT_EQ(test::sha256File(entry.path().string()), chosen->sha) << name;
    }
  }
  EXPECT_TRUE(found) << chosen->name() << " with control characters was not saved";
}

// A loop device over an NTFS volume file, mounted with ntfs-3g; skipped where loop
// devices or FUSE are not available.
struct MountedLoop {
  test::TempDir dir;
  std::string image = dir.file("ntfs.img");
  std::string mountPoint = dir.file("mnt");
  std::string loop;
  bool mounted = false;
  MountedLoop() {
    if (::geteuid() != 0 || std::system("command -v losetup ntfs-3g mkntfs >/dev/null 2>&1") != 0)
      return;
    test::run("truncate -s 64M '" + image + "' && mkntfs -F -Q -q '" + image + "' >/dev/null 2>&1");
    loop = runStatus("losetup --show -f '" + image + "'").output;
    if (!loop.empty() && loop.back() == '\n') loop.pop_back();
    if (loop.rfind("/dev/loop", 0) != 0) {
      loop.clear();
      return;
    }
    fs::create_directory(mountPoint);
    mounted = runStatus("ntfs-3g '" + loop + "' '" + mountPoint + "'").status == 0;
  }
  ~MountedLoop() {
    if (mounted) std::system(("umount '" + mountPoint + "'").c_str());
    if (!loop.empty()) std::system(("losetup -d '" + loop + "'").c_str());
  }
};

TEST(HonestRecover, ADestinationOnTheDiskBeingRecoveredIsRefusedUnlessAllowed) {
  MountedLoop disk;
  if (!disk.mounted)
    GTEST_SKIP() << "no loop device with an ntfs-3g mount here (needs root, losetup and FUSE)";
  const std::string rec = disk.mountPoint + "/rec";
  for (const std::string& scanned : {disk.loop, disk.image}) {
    const Ran refused = runStatus(cli() + " recover '" + scanned +
                                  "' --range 0 131071 --fs NTFS --out '" + rec + "'");
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find("the disk being recovered"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("--allow-same-disk"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(rec)) << scanned;
  }
  const Ran allowed =
      runStatus(cli() + " recover '" + disk.loop + "' --range 0 131071 --fs NTFS --out '" + rec +
                "' --allow-same-disk");
  EXPECT_NE(allowed.output.find("warning:"), std::string::npos) << allowed.output;
  EXPECT_TRUE(fs::is_directory(rec)) << allowed.output;
}

}  // namespace
}  // namespace tessaly
