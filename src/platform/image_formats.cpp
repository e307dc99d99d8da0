#include "platform/image_formats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

#ifdef TESSALY_HAVE_LIBEWF
#include <libewf.h>
#endif
#ifdef TESSALY_HAVE_LIBVHDI
#include <libvhdi.h>
#endif
#if defined(TESSALY_HAVE_LIBVMDK) || defined(TESSALY_HAVE_LIBQCOW)
#include <libbfio.h>
#endif
#ifdef TESSALY_HAVE_LIBVMDK
#include <libvmdk.h>
#endif
#ifdef TESSALY_HAVE_LIBQCOW
// libqcow declares its libbfio entry points only for programs that say they have libbfio.
#define HAVE_LIBBFIO 1
#include <libqcow.h>
#endif

namespace tessaly::platform {

namespace {

using Bytes = std::span<const std::uint8_t>;

bool hasText(Bytes bytes, std::size_t offset, std::string_view text) {
  return offset <= bytes.size() && text.size() <= bytes.size() - offset &&
         std::memcmp(bytes.data() + offset, text.data(), text.size()) == 0;
}

bool isVhdFooter(Bytes bytes) { return hasText(bytes, 0, "conectix"); }

// A fixed disk's footer: its disk type, the big-endian 32-bit field at offset 60, is 2.
bool isFixedVhdFooter(Bytes footer) {
  return isVhdFooter(footer) && footer.size() >= 64 && footer[60] == 0 && footer[61] == 0 &&
         footer[62] == 0 && footer[63] == 2;
}

// ---------------------------------------------------------------- reading through a library

// One opened container as its library sees it. Not thread-safe: ContainerDevice holds the lock.
class Container {
 public:
  virtual ~Container() = default;
  // Reads up to length bytes of the disk at offset: the number read, 0 or less on failure.
  virtual std::int64_t readAt(std::uint64_t offset, std::uint8_t* data, std::size_t length) = 0;
  // True when the container itself marks bytes in this range as unreadable or corrupt,
  // even though the library handed back data for them.
  virtual bool marksBad(std::uint64_t, std::size_t) { return false; }
};

class ContainerDevice final : public Device {
 public:
  ContainerDevice(std::unique_ptr<Container> container, std::uint64_t size)
      : container_(std::move(container)), size_(size) {}

  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
    if (offset > size_ || buffer.size() > size_ - offset) return false;
    std::lock_guard lock(mutex_);
    std::size_t done = 0;
    while (done < buffer.size()) {
      const std::int64_t n = container_->readAt(offset + done, buffer.data() + done, buffer.size() - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return !container_->marksBad(offset, buffer.size());
  }
  std::uint64_t size() const override { return size_; }

 private:
  std::mutex mutex_;
  std::unique_ptr<Container> container_;
  std::uint64_t size_;
};

// The first bytes of a device: a fixed VHD without its footer.
class LeadingBytesDevice final : public Device {
 public:
  LeadingBytesDevice(std::unique_ptr<Device> inner, std::uint64_t size)
      : inner_(std::move(inner)), size_(size) {}
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
    if (offset > size_ || buffer.size() > size_ - offset) return false;
    return inner_->read(offset, buffer);
  }
  std::uint64_t size() const override { return size_; }

 private:
  std::unique_ptr<Device> inner_;
  std::uint64_t size_;
};

struct OpenedContainer {
  std::unique_ptr<Container> container;
  std::uint64_t size = 0;
  std::string error;
};

// The first line of a library's error report without the function name in front of it
// ("libvmdk_handle_open_extent_data_files: unable to open extent data file: x-flat.vmdk.").
[[maybe_unused]] std::string errorLine(const char* text) {
  std::string_view all(text);
  std::string_view line = all.substr(0, all.find('\n'));
  if (auto colon = line.find(": "); colon != std::string_view::npos) line.remove_prefix(colon + 2);
  while (!line.empty() && (line.back() == '.' || line.back() == '\r')) line.remove_suffix(1);
  return std::string(line);
}

// Everything the libraries have in common: one handle, errors as objects to describe and
// free, reads at an offset. Api names the functions of one library.
template <typename Api>
class LibraryContainer : public Container {
 public:
  using Handle = typename Api::Handle;
  using Error = typename Api::Error;

  ~LibraryContainer() override { closeHandle(); }

  std::int64_t readAt(std::uint64_t offset, std::uint8_t* data, std::size_t length) override {
    Error* error = nullptr;
    const auto n = Api::readAt(handle_, data, length, static_cast<std::int64_t>(offset), &error);
    if (error) Api::freeError(&error);
    return static_cast<std::int64_t>(n);
  }

  // Turns a failed call into a reason for the user; empty when the call succeeded.
  static std::string failure(int result, Error*& error) {
    std::string reason;
    if (error) {
      std::array<char, 2048> text{};
      if (Api::describe(error, text.data(), text.size()) > 0) reason = errorLine(text.data());
      Api::freeError(&error);
    }
    if (result == 1) return "";
    return reason.empty() ? std::string("the library gave no reason") : reason;
  }

 protected:
  void closeHandle() {
    if (!handle_) return;
    Error* error = nullptr;
    if (open_) Api::close(handle_, &error);
    if (error) Api::freeError(&error);
    Api::freeHandle(&handle_, &error);
    if (error) Api::freeError(&error);
    open_ = false;
  }

  Handle* handle_ = nullptr;
  bool open_ = false;
};

[[maybe_unused]] std::string damaged(ImageFormat format, const std::string& reason) {
  return std::string("this ") + imageFormatName(format) + " image is damaged or incomplete (" + reason + ")";
}

[[maybe_unused]] std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// ---------------------------------------------------------------- E01

#ifdef TESSALY_HAVE_LIBEWF
struct EwfApi {
  using Handle = libewf_handle_t;
  using Error = libewf_error_t;
  static ssize_t readAt(Handle* h, void* data, size_t n, off64_t at, Error** e) {
    return libewf_handle_read_random(h, data, n, at, e);
  }
  static int close(Handle* h, Error** e) { return libewf_handle_close(h, e); }
  static int freeHandle(Handle** h, Error** e) { return libewf_handle_free(h, e); }
  static void freeError(Error** e) { libewf_error_free(e); }
  static int describe(Error* e, char* text, size_t n) { return libewf_error_sprint(e, text, n); }
};

// The segments of an E01 set hold, besides the data, the sector ranges that could not be
// read when the disk was acquired and, once found, the chunks whose checksums fail. Both
// read back as filler from the library; here they read as the bad sectors they are.
class EwfContainer final : public LibraryContainer<EwfApi> {
 public:
  static OpenedContainer open(const std::string& path) {
    OpenedContainer out;
    auto self = std::make_unique<EwfContainer>();
    Error* error = nullptr;
    if (auto why = failure(libewf_handle_initialize(&self->handle_, &error), error); !why.empty()) {
      out.error = damaged(ImageFormat::Ewf, why);
      return out;
    }
    // The user names the first segment; the others (.E02, .E03, ...) lie beside it.
    char** names = nullptr;
    int count = 0;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &error) != 1) {
      // A name without the usual extension: the file alone.
      if (error) libewf_error_free(&error);
      names = nullptr;
      count = 0;
    }
    char* single[] = {const_cast<char*>(path.c_str())};
    const int opened = count > 0 ? libewf_handle_open(self->handle_, names, count, LIBEWF_OPEN_READ, &error)
                                 : libewf_handle_open(self->handle_, single, 1, LIBEWF_OPEN_READ, &error);
    if (names) {
      Error* ignored = nullptr;
      libewf_glob_free(names, count, &ignored);
      if (ignored) libewf_error_free(&ignored);
    }
    if (auto why = failure(opened, error); !why.empty()) {
      out.error = damaged(ImageFormat::Ewf, why);
      return out;
    }
    self->open_ = true;
    // A segment cut short or missing its tables opens, but reads its lost chunks as zeros.
    const int corrupted = libewf_handle_segment_files_corrupted(self->handle_, &error);
    if (auto why = failure(corrupted == 0 ? 1 : corrupted, error); !why.empty() || corrupted == 1) {
      out.error = damaged(ImageFormat::Ewf, why.empty() ? "a segment file is missing, cut short or damaged" : why);
      return out;
    }
    size64_t size = 0;
    std::string why = failure(libewf_handle_get_media_size(self->handle_, &size, &error), error);
    if (why.empty()) why = failure(libewf_handle_get_bytes_per_sector(self->handle_, &self->sectorBytes_, &error), error);
    if (why.empty() && self->sectorBytes_ == 0) why = "it gives no sector size";
    if (why.empty()) why = self->loadRanges(libewf_handle_get_number_of_acquiry_errors,
                                            libewf_handle_get_acquiry_error, self->acquiryErrors_);
    if (!why.empty()) {
      out.error = damaged(ImageFormat::Ewf, why);
      return out;
    }
    out.size = size;
    out.container = std::move(self);
    return out;
  }

  bool marksBad(std::uint64_t offset, std::size_t length) override {
    // A chunk whose checksum fails is added to the handle's list when it is read.
    std::uint32_t count = 0;
    Error* error = nullptr;
    if (libewf_handle_get_number_of_checksum_errors(handle_, &count, &error) != 1) {
      libewf_error_free(&error);
      return true;
    }
    if (count != checksumCount_) {
      if (!loadRanges(libewf_handle_get_number_of_checksum_errors, libewf_handle_get_checksum_error,
                      checksumErrors_)
               .empty())
        return true;
      checksumCount_ = count;
    }
    return overlaps(acquiryErrors_, offset, length) || overlaps(checksumErrors_, offset, length);
  }

 private:
  struct Range {
    std::uint64_t first, end;  // bytes, end exclusive
  };

  template <typename Count, typename Get>
  std::string loadRanges(Count countOf, Get get, std::vector<Range>& ranges) {
    Error* error = nullptr;
    std::uint32_t count = 0;
    if (auto why = failure(countOf(handle_, &count, &error), error); !why.empty()) return why;
    ranges.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint64_t first = 0, sectors = 0;
      if (auto why = failure(get(handle_, i, &first, &sectors, &error), error); !why.empty()) return why;
      // A range beyond what 64 bits of bytes can hold reaches to the end of every disk.
      const std::uint64_t limit = UINT64_MAX / sectorBytes_;
      const std::uint64_t last = sectors > limit || first > limit - sectors ? limit : first + sectors;
      ranges.push_back({std::min(first, limit) * sectorBytes_, last * sectorBytes_});
    }
    return "";
  }

  static bool overlaps(const std::vector<Range>& ranges, std::uint64_t offset, std::size_t length) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [&](const Range& r) { return offset < r.end && r.first < offset + length; });
  }

  std::uint32_t sectorBytes_ = 0;
  std::uint32_t checksumCount_ = 0;
  std::vector<Range> acquiryErrors_;
  std::vector<Range> checksumErrors_;
};
#endif

// ---------------------------------------------------------------- VHD and VHDX

#ifdef TESSALY_HAVE_LIBVHDI
struct VhdiApi {
  using Handle = libvhdi_file_t;
  using Error = libvhdi_error_t;
  static ssize_t readAt(Handle* h, void* data, size_t n, off64_t at, Error** e) {
    return libvhdi_file_read_buffer_at_offset(h, data, n, at, e);
  }
  static int close(Handle* h, Error** e) { return libvhdi_file_close(h, e); }
  static int freeHandle(Handle** h, Error** e) { return libvhdi_file_free(h, e); }
  static void freeError(Error** e) { libvhdi_error_free(e); }
  static int describe(Error* e, char* text, size_t n) { return libvhdi_error_sprint(e, text, n); }
};

class VhdiContainer final : public LibraryContainer<VhdiApi> {
 public:
  static OpenedContainer open(const std::string& path, ImageFormat format) {
    OpenedContainer out;
    auto self = std::make_unique<VhdiContainer>();
    Error* error = nullptr;
    std::string why = failure(libvhdi_file_initialize(&self->handle_, &error), error);
    if (why.empty()) why = failure(libvhdi_file_open(self->handle_, path.c_str(), LIBVHDI_OPEN_READ, &error), error);
    if (!why.empty()) {
      out.error = damaged(format, why);
      return out;
    }
    self->open_ = true;
    std::uint32_t type = 0;
    size64_t size = 0;
    why = failure(libvhdi_file_get_disk_type(self->handle_, &type, &error), error);
    if (why.empty()) why = failure(libvhdi_file_get_media_size(self->handle_, &size, &error), error);
    if (!why.empty()) {
      out.error = damaged(format, why);
      return out;
    }
    // A differencing disk holds only what changed since its parent: alone it is not the disk.
    if (type == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
      out.error = std::string("this ") + imageFormatName(format) +
                  " image holds only the changes to a parent image; Tessaly cannot read such images";
      return out;
    }
    out.size = size;
    out.container = std::move(self);
    return out;
  }
};
#endif

// ---------------------------------------------------------------- VMDK

#ifdef TESSALY_HAVE_LIBVMDK
struct VmdkApi {
  using Handle = libvmdk_handle_t;
  using Error = libvmdk_error_t;
  static ssize_t readAt(Handle* h, void* data, size_t n, off64_t at, Error** e) {
    return libvmdk_handle_read_buffer_at_offset(h, data, n, at, e);
  }
  static int close(Handle* h, Error** e) { return libvmdk_handle_close(h, e); }
  static int freeHandle(Handle** h, Error** e) { return libvmdk_handle_free(h, e); }
  static void freeError(Error** e) { libvmdk_error_free(e); }
  static int describe(Error* e, char* text, size_t n) { return libvmdk_error_sprint(e, text, n); }
};

class VmdkContainer final : public LibraryContainer<VmdkApi> {
 public:
  ~VmdkContainer() override {
    // The extents are closed with the handle, before the pool that holds their files goes.
    closeHandle();
    if (pool_) {
      libbfio_error_t* error = nullptr;
      libbfio_pool_free(&pool_, &error);
      if (error) libbfio_error_free(&error);
    }
  }

  static OpenedContainer open(const std::string& path, Bytes head) {
    OpenedContainer out;
    auto self = std::make_unique<VmdkContainer>();
    Error* error = nullptr;
    std::string why = failure(libvmdk_handle_initialize(&self->handle_, &error), error);
    if (why.empty()) why = failure(libvmdk_handle_open(self->handle_, path.c_str(), LIBVMDK_OPEN_READ, &error), error);
    if (!why.empty()) {
      out.error = damaged(ImageFormat::Vmdk, why);
      return out;
    }
    self->open_ = true;
    why = self->openExtents(path, hasText(head, 0, "KDMV"));
    std::uint32_t parent = 0;
    int hasParent = 0;
    if (why.empty()) {
      hasParent = libvmdk_handle_get_parent_content_identifier(self->handle_, &parent, &error);
      why = failure(hasParent == 0 ? 1 : hasParent, error);
    }
    size64_t size = 0;
    if (why.empty()) why = failure(libvmdk_handle_get_media_size(self->handle_, &size, &error), error);
    if (!why.empty()) {
      out.error = damaged(ImageFormat::Vmdk, why);
      return out;
    }
    if (hasParent == 1 && parent != 0xFFFFFFFFu) {
      out.error = "this VMDK image holds only the changes to a parent image; Tessaly cannot read such images";
      return out;
    }
    out.size = size;
    out.container = std::move(self);
    return out;
  }

 private:
  // A monolithic sparse file is its own one extent, whatever name its embedded descriptor
  // gives it (files get renamed); a descriptor file names its extent files beside it.
  std::string openExtents(const std::string& path, bool sparseFile) {
    Error* error = nullptr;
    int type = 0;
    std::string why = failure(libvmdk_handle_get_disk_type(handle_, &type, &error), error);
    if (!why.empty()) return why;
    if (sparseFile && (type == LIBVMDK_DISK_TYPE_MONOLITHIC_SPARSE || type == LIBVMDK_DISK_TYPE_STREAM_OPTIMIZED)) {
      libbfio_error_t* poolError = nullptr;
      libbfio_handle_t* file = nullptr;
      int entry = 0;
      bool ok = libbfio_file_initialize(&file, &poolError) == 1 &&
                libbfio_file_set_name(file, path.c_str(), path.size() + 1, &poolError) == 1 &&
                libbfio_pool_initialize(&pool_, 0, LIBBFIO_POOL_UNLIMITED_NUMBER_OF_OPEN_HANDLES, &poolError) == 1;
      if (ok && libbfio_pool_append_handle(pool_, &entry, file, LIBBFIO_OPEN_READ, &poolError) == 1)
        file = nullptr;  // the pool owns it now
      else
        ok = false;
      if (file) libbfio_handle_free(&file, nullptr);
      if (poolError) libbfio_error_free(&poolError);
      if (!ok) return "its file cannot be read";
      return failure(libvmdk_handle_open_extent_data_files_file_io_pool(handle_, pool_, &error), error);
    }
    const std::string folder = folderOf(path);
    why = failure(libvmdk_handle_set_extent_data_files_path(handle_, folder.c_str(), folder.size(), &error), error);
    if (why.empty()) why = failure(libvmdk_handle_open_extent_data_files(handle_, &error), error);
    return why;
  }

  libbfio_pool_t* pool_ = nullptr;
};
#endif

// ---------------------------------------------------------------- QCOW2

#ifdef TESSALY_HAVE_LIBQCOW
struct QcowApi {
  using Handle = libqcow_file_t;
  using Error = libqcow_error_t;
  static ssize_t readAt(Handle* h, void* data, size_t n, off64_t at, Error** e) {
    return libqcow_file_read_buffer_at_offset(h, data, n, at, e);
  }
  static int close(Handle* h, Error** e) { return libqcow_file_close(h, e); }
  static int freeHandle(Handle** h, Error** e) { return libqcow_file_free(h, e); }
  static void freeError(Error** e) { libqcow_error_free(e); }
  static int describe(Error* e, char* text, size_t n) { return libqcow_error_sprint(e, text, n); }
};

// The container file as libqcow reads it. libqcow trims the read of a cluster that runs past
// the end of the file to the bytes the file has, then serves the whole cluster from that
// short buffer: a truncated file would read as whatever lies beyond it in memory. So the
// file is shown to libqcow as a whole number of clusters long, and a read past its real end
// fails, except for the few bytes a compressed cluster's length (counted in whole sectors)
// may run over, which read as zeros.
struct QcowFile {
  std::string path;
  std::uint64_t clusterBytes = 1;
  int fd = -1;
  std::uint64_t offset = 0;
  std::uint64_t realSize = 0;

  static constexpr std::uint64_t kCompressedSlack = 1024;

  static QcowFile* of(intptr_t* io) { return reinterpret_cast<QcowFile*>(io); }
  static int free(intptr_t** io, libbfio_error_t**) {
    if (io && *io) {
      QcowFile* file = of(*io);
      if (file->fd >= 0) ::close(file->fd);
      delete file;
      *io = nullptr;
    }
    return 1;
  }
  static int clone(intptr_t** copy, intptr_t* io, libbfio_error_t**) {
    *copy = reinterpret_cast<intptr_t*>(new QcowFile{of(io)->path, of(io)->clusterBytes});
    return 1;
  }
  static int open(intptr_t* io, int flags, libbfio_error_t**) {
    QcowFile* file = of(io);
    if ((flags & LIBBFIO_ACCESS_FLAG_WRITE) != 0) return -1;
    if (file->fd < 0) file->fd = ::open(file->path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file->fd < 0 || ::fstat(file->fd, &st) != 0) return -1;
    file->realSize = static_cast<std::uint64_t>(st.st_size);
    file->offset = 0;
    return 1;
  }
  static int close(intptr_t* io, libbfio_error_t**) {
    QcowFile* file = of(io);
    if (file->fd >= 0) ::close(file->fd);
    file->fd = -1;
    return 0;
  }
  static ssize_t read(intptr_t* io, uint8_t* data, size_t length, libbfio_error_t**) {
    QcowFile* file = of(io);
    const std::uint64_t end = file->offset + length;
    std::size_t available = length;
    if (end > file->realSize) {
      const std::uint64_t missing = end - file->realSize;
      if (length >= file->clusterBytes || missing > kCompressedSlack || missing > length) return -1;
      available = length - static_cast<std::size_t>(missing);
    }
    std::size_t done = 0;
    while (done < available) {
      const ssize_t n = ::pread(file->fd, data + done, available - done, static_cast<off_t>(file->offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return -1;
      done += static_cast<std::size_t>(n);
    }
    std::memset(data + available, 0, length - available);
    file->offset = end;
    return static_cast<ssize_t>(length);
  }
  static ssize_t write(intptr_t*, const uint8_t*, size_t, libbfio_error_t**) { return -1; }
  static off64_t seek(intptr_t* io, off64_t offset, int whence, libbfio_error_t**) {
    QcowFile* file = of(io);
    std::int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<std::int64_t>(file->offset);
    if (whence == SEEK_END) base = static_cast<std::int64_t>(file->shownSize());
    if (base + offset < 0) return -1;
    file->offset = static_cast<std::uint64_t>(base + offset);
    return static_cast<off64_t>(file->offset);
  }
  static int exists(intptr_t* io, libbfio_error_t**) { return ::access(of(io)->path.c_str(), F_OK) == 0 ? 1 : 0; }
  static int isOpen(intptr_t* io, libbfio_error_t**) { return of(io)->fd >= 0 ? 1 : 0; }
  static int size(intptr_t* io, size64_t* bytes, libbfio_error_t**) {
    *bytes = of(io)->shownSize();
    return 1;
  }
  std::uint64_t shownSize() const { return (realSize + clusterBytes - 1) / clusterBytes * clusterBytes; }

  // A libbfio handle over path; null when libbfio refuses.
  static libbfio_handle_t* handle(const std::string& path, std::uint64_t clusterBytes) {
    libbfio_handle_t* handle = nullptr;
    libbfio_error_t* error = nullptr;
    auto* file = new QcowFile{path, clusterBytes};
    if (libbfio_handle_initialize(&handle, reinterpret_cast<intptr_t*>(file), free, clone, open, close, read,
                                  write, seek, exists, isOpen, size, LIBBFIO_FLAG_IO_HANDLE_MANAGED,
                                  &error) != 1) {
      if (error) libbfio_error_free(&error);
      delete file;
      return nullptr;
    }
    return handle;
  }
};

// The cluster size of a QCOW2 header: 1 << cluster_bits, the big-endian 32-bit field at
// offset 20; 1 when the field is out of the range the format allows (libqcow then judges).
std::uint64_t qcowClusterBytes(Bytes head) {
  if (head.size() < 24 || head[20] != 0 || head[21] != 0 || head[22] != 0) return 1;
  const unsigned bits = head[23];
  return bits >= 9 && bits <= 21 ? std::uint64_t{1} << bits : 1;
}

class QcowContainer final : public LibraryContainer<QcowApi> {
 public:
  ~QcowContainer() override {
    // The file is closed through the handle first; the handle it read through goes after.
    closeHandle();
    if (file_) {
      libbfio_error_t* error = nullptr;
      libbfio_handle_free(&file_, &error);
      if (error) libbfio_error_free(&error);
    }
  }

  static OpenedContainer open(const std::string& path, Bytes head) {
    OpenedContainer out;
    auto self = std::make_unique<QcowContainer>();
    Error* error = nullptr;
    std::string why = failure(libqcow_file_initialize(&self->handle_, &error), error);
    self->file_ = QcowFile::handle(path, qcowClusterBytes(head));
    if (why.empty() && !self->file_) why = "its file cannot be read";
    if (why.empty())
      why = failure(libqcow_file_open_file_io_handle(self->handle_, self->file_, LIBQCOW_OPEN_READ, &error), error);
    if (!why.empty()) {
      out.error = damaged(ImageFormat::Qcow, why);
      return out;
    }
    self->open_ = true;
    std::uint32_t encryption = 0;
    size_t backingName = 0;
    size64_t size = 0;
    why = failure(libqcow_file_get_encryption_method(self->handle_, &encryption, &error), error);
    int hasBacking = 0;
    if (why.empty()) {
      hasBacking = libqcow_file_get_utf8_backing_filename_size(self->handle_, &backingName, &error);
      why = failure(hasBacking == 0 ? 1 : hasBacking, error);
    }
    if (why.empty()) why = failure(libqcow_file_get_media_size(self->handle_, &size, &error), error);
    if (!why.empty()) {
      out.error = damaged(ImageFormat::Qcow, why);
      return out;
    }
    if (encryption != LIBQCOW_ENCRYPTION_METHOD_NONE) {
      out.error = "this QCOW2 image is encrypted; Tessaly cannot read encrypted images";
      return out;
    }
    // Unallocated clusters of an overlay belong to its backing file: alone it is not the disk.
    if (hasBacking == 1) {
      out.error = "this QCOW2 image holds only the changes to a backing image; Tessaly cannot read such images";
      return out;
    }
    out.size = size;
    out.container = std::move(self);
    return out;
  }

 private:
  libbfio_handle_t* file_ = nullptr;
};
#endif

OpenedContainer openContainer([[maybe_unused]] const std::string& path, [[maybe_unused]] Bytes head,
                              ImageFormat format) {
  switch (format) {
#ifdef TESSALY_HAVE_LIBEWF
    case ImageFormat::Ewf:
      return EwfContainer::open(path);
#endif
#ifdef TESSALY_HAVE_LIBVHDI
    case ImageFormat::Vhd:
    case ImageFormat::Vhdx:
      return VhdiContainer::open(path, format);
#endif
#ifdef TESSALY_HAVE_LIBVMDK
    case ImageFormat::Vmdk:
      return VmdkContainer::open(path, head);
#endif
#ifdef TESSALY_HAVE_LIBQCOW
    case ImageFormat::Qcow:
      return QcowContainer::open(path, head);
#endif
    default:
      break;
  }
  OpenedContainer out;
  out.error = std::string("this is ") + (format == ImageFormat::Ewf ? "an " : "a ") + imageFormatName(format) +
              " image; this build of Tessaly cannot read " + imageFormatName(format) + " images";
  return out;
}

}  // namespace

ImageFormat imageFormatOf(std::span<const std::uint8_t> head, std::span<const std::uint8_t> tail) {
  if (hasText(head, 0, std::string_view("EVF\x09\x0d\x0a\xff\x00", 8))) return ImageFormat::Ewf;
  if (hasText(head, 0, "vhdxfile")) return ImageFormat::Vhdx;
  if (hasText(head, 0, "KDMV") || hasText(head, 0, "# Disk DescriptorFile")) return ImageFormat::Vmdk;
  if (hasText(head, 0, "QFI\xfb")) return ImageFormat::Qcow;
  // Every VHD ends in its footer; a dynamic or differencing one has a copy at the start.
  // A footer naming another disk type, or a damaged one, is left to the library to judge.
  if (isFixedVhdFooter(tail)) return ImageFormat::FixedVhd;
  if (isVhdFooter(tail) || isVhdFooter(head)) return ImageFormat::Vhd;
  return ImageFormat::Raw;
}

const char* imageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::Raw: return "raw";
    case ImageFormat::Ewf: return "E01";
    case ImageFormat::FixedVhd:
    case ImageFormat::Vhd: return "VHD";
    case ImageFormat::Vhdx: return "VHDX";
    case ImageFormat::Vmdk: return "VMDK";
    case ImageFormat::Qcow: return "QCOW2";
  }
  return "raw";
}

bool imageFormatAvailable(ImageFormat format) {
  switch (format) {
    case ImageFormat::Raw:
    case ImageFormat::FixedVhd:
      return true;
    case ImageFormat::Ewf:
#ifdef TESSALY_HAVE_LIBEWF
      return true;
#else
      return false;
#endif
    case ImageFormat::Vhd:
    case ImageFormat::Vhdx:
#ifdef TESSALY_HAVE_LIBVHDI
      return true;
#else
      return false;
#endif
    case ImageFormat::Vmdk:
#ifdef TESSALY_HAVE_LIBVMDK
      return true;
#else
      return false;
#endif
    case ImageFormat::Qcow:
#ifdef TESSALY_HAVE_LIBQCOW
      return true;
#else
      return false;
#endif
  }
  return false;
}

std::vector<std::string> availableImageFormats() {
  std::vector<std::string> names;
  for (ImageFormat f : {ImageFormat::Ewf, ImageFormat::Vhd, ImageFormat::Vhdx, ImageFormat::Vmdk, ImageFormat::Qcow})
    if (imageFormatAvailable(f)) names.emplace_back(imageFormatName(f));
  return names;
}

OpenedImage openImage(const std::string& path) {
  OpenedImage out;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    out.error = std::strerror(errno);
    return out;
  }
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    out.error = "neither a disk nor an image file";
    return out;
  }
  std::unique_ptr<FileDevice> file = FileDevice::open(path);
  if (!file) {
    out.error = std::strerror(errno);
    return out;
  }
  if (file->isBlockDevice()) {
    out.device = std::move(file);
    return out;
  }
  const std::uint64_t size = file->size();
  std::array<std::uint8_t, kVhdFooterBytes> head{}, tail{};
  const std::size_t headBytes = static_cast<std::size_t>(std::min<std::uint64_t>(size, head.size()));
  const bool hasTail = size >= tail.size();
  if (!file->read(0, std::span(head).first(headBytes)) ||
      (hasTail && !file->read(size - tail.size(), tail))) {
    out.error = "its first and last sectors cannot be read";
    return out;
  }
  out.format = imageFormatOf(std::span(head).first(headBytes),
                             hasTail ? std::span<const std::uint8_t>(tail) : std::span<const std::uint8_t>());
  if (out.format == ImageFormat::Raw) {
    out.device = std::move(file);
    return out;
  }
  if (out.format == ImageFormat::FixedVhd) {
    // The disk's bytes lie as they are in front of the footer.
    out.device = std::make_unique<LeadingBytesDevice>(std::move(file), size - kVhdFooterBytes);
    return out;
  }
  file.reset();
  OpenedContainer opened = openContainer(path, std::span(head).first(headBytes), out.format);
  if (!opened.container) {
    out.error = opened.error;
    return out;
  }
  out.device = std::make_unique<ContainerDevice>(std::move(opened.container), opened.size);
  return out;
}

}  // namespace tessaly::platform
