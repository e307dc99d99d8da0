// Disk images inside container files: EnCase/Expert Witness (E01), VHD, VHDX, VMDK and
// QCOW2. A container is recognised from its signature, never from its name, and is read
// through the library for its format when this build has one; the disk inside it is then
// an ordinary read-only Device, so the sector reader and every engine read it unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/device.h"

namespace tessaly::platform {

enum class ImageFormat {
  Raw,        // no container: the file is the disk, byte for byte
  Ewf,        // "EVF\x09\x0d\x0a\xff\x00" at the start
  FixedVhd,   // the disk's bytes, then a 512-byte "conectix" footer
  Vhd,        // a dynamic or differencing VHD: a copy of the footer at the start too
  Vhdx,       // "vhdxfile" at the start
  Vmdk,       // a "KDMV" sparse extent or a "# Disk DescriptorFile" text descriptor
  Qcow,       // "QFI\xfb" at the start
};

// The size of the footer that ends every VHD; the start and the end of a file are looked
// at in pieces of this size.
inline constexpr std::size_t kVhdFooterBytes = 512;

// The container announced by the first bytes of a file (head) and its last 512 bytes
// (tail; empty when the file is shorter). Anything else is Raw.
ImageFormat imageFormatOf(std::span<const std::uint8_t> head, std::span<const std::uint8_t> tail);

// The name users know the format by: "E01", "VHD", "VHDX", "VMDK", "QCOW2"; "raw" for Raw.
const char* imageFormatName(ImageFormat format);

// Whether this build can read the format (Raw and fixed VHDs always).
bool imageFormatAvailable(ImageFormat format);

// The container formats this build can read, by name.
std::vector<std::string> availableImageFormats();

struct OpenedImage {
  std::unique_ptr<Device> device;  // null when the file cannot be read
  ImageFormat format = ImageFormat::Raw;
  std::string error;  // why not, in words for the user
};

// Opens a disk for reading: a block device or a raw image through FileDevice, a container
// through its library. Nothing is ever opened for writing.
OpenedImage openImage(const std::string& path);

}  // namespace tessaly::platform
