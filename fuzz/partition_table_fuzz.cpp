// The partition listing of a disk: the master boot record and the chain of extended
// records it leads to, each partition's first sector classified.
#include "fuzz_session.h"
#include "partition/partition_walk.h"
#include "session/tree_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaly::fuzz::FuzzSession s({data, size});
  tessaly::TreeModel tree;
  tree.insert(tessaly::kNoItem, "Disk 0", 1, 1);
  tessaly::walkPartitionTable(s.session, tree, 0);
  (void)tessaly::findDriveLetter(s.session, {data, std::min<std::size_t>(size, 512)});
  return 0;
}
