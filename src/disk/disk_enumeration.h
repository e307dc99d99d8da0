// The disk list and its facts: which disks the disk page offers, and the facts rows it
// shows for one of them. The facts live in the disk-facts key (diskfacts/disk_facts_key.h);
// on the probe-program path the diskfacts helper writes them, on the geometry-query path
// this code does.
#pragma once

#include <string>
#include <vector>

#include "session/tree_model.h"

namespace tessaly {

class Session;

// The helper's file name in the installation folder.
inline constexpr const char* kDiskFactsProgram = "diskfacts";
// Texts and images of the disk tree.
inline constexpr const char* kMyComputer = "My Computer";
inline constexpr const char* kFloppyEntry = "1.44\" Floppy";
constexpr int kImageMyComputer = 2;
constexpr int kImageDisk = 1;
// Disk values the clean-up removes from a disk-facts key it could not delete.
constexpr unsigned kMaxListedDisks = 26;
// Physical drive names the geometry query tries.
constexpr unsigned kMaxQueriedDisks = 10;

// The version answer decides where disk facts come from: true = the system's geometry
// query, false = the diskfacts helper. A failing version call, the 95/98/Me family and
// NT major version 5 answer false; other NT versions and other platforms true.
bool usesGeometryQuery();

// Fills the disk tree once per run: the root "My Computer" when the tree has none, the
// floppy entry and one "Disk<n>" entry per hard disk; cleans and refills the disk-facts
// key; sets osFamily and hardDiskCount. Then expands the root, gives the tree the focus
// and selects the root. Registry failures end the program (ProgramExit): creating the
// disk-facts key in the clean-up (code 0), creating a sub-key (code 1), opening the key
// after the helper ran (code 0).
void enumerateDisks(Session& session, TreeModel& diskTree);

// The disk number of a disk-tree entry ("Disk3" -> 3); -1 for anything else.
int diskNumberOf(const std::string& entryText);

// One row of the disk page's information list: a label and its value.
struct DiskFactsRow {
  std::string label;
  std::string value;
  std::string text() const { return label + value; }
};

// The facts rows of disk n as the disk page shows them, read from the disk-facts key:
// the number, on the probe-program path the model and the media type, then cylinders,
// heads, sectors per track and the size in MB. The model read becomes the session's
// current disk model (empty on the geometry-query path, which has no model).
std::vector<DiskFactsRow> diskFactsRows(Session& session, unsigned disk);

}  // namespace tessaly
