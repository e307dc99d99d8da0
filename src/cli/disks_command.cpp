// tessaly-cli disks [--floppy IMAGE] [--json] [DISK ...]: the disk list as the disk page
// shows it, with the facts rows of every hard disk. Disks named on the command line fill
// the device table in order; with none named the machine's whole-disk block devices do.
// The facts come from the diskfacts helper beside this program, through the per-user
// registry folder.
#include <iostream>

#include "cli/commands.h"
#include "cli/frontend.h"
#include "cli/json.h"
#include "disk/disk_enumeration.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "session/session.h"

namespace tessaly::cli {

int disksCommand(const std::vector<std::string>& argv) {
  Args args(argv, {"floppy"}, {"json"});
  if (!args.ok()) {
    std::cerr << "usage: tessaly-cli disks [--floppy IMAGE] [--json] [DISK ...]\n"
              << args.error() << '\n';
    return 2;
  }
  const bool named = !args.positionals().empty();
  std::optional<std::string> floppy;
  if (args.has("floppy")) floppy = args.get("floppy");
  platform::DeviceTable devices = named
                                      ? platform::DeviceTable::fromPaths(args.positionals(), floppy)
                                      : platform::DeviceTable::fromSystem();
  if (!named && floppy) devices.setFloppy(*floppy);

  CliReport report(true);
  CliDialogs dialogs(DialogAnswers{}, &report);
  Session session(devices, report, dialogs);
  session.installFolder = platform::executableFolder();
  TreeModel tree;
  enumerateDisks(session, tree);

  const TreeItem root = tree.root();
  const auto entries = tree.children(root);
  // The probe-program path lists nothing at all without the helper: say why.
  const std::string helper = platform::joinPath(session.installFolder, kDiskFactsProgram);
  if (entries.empty() && !usesGeometryQuery() && !platform::fileExists(helper))
    std::cerr << "tessaly-cli: no disks listed: " << helper << " is missing\n";

  if (args.has("json")) {
    JsonWriter json(std::cout);
    json.beginObject().field("root", tree.text(root)).key("entries").beginArray();
    for (TreeItem item : entries) {
      const std::string text = tree.text(item);
      const int n = diskNumberOf(text);
      json.beginObject().field("entry", text);
      if (n < 0) {
        json.field("floppy", true);
        if (floppy) json.field("device", *floppy);
      } else {
        json.field("number", n);
        if (auto path = devices.resolve(platform::DeviceTable::physicalDriveName(n)))
          json.field("device", *path);
        json.key("facts").beginArray();
        for (const auto& row : diskFactsRows(session, static_cast<unsigned>(n)))
          json.beginObject().field("label", row.label).field("value", row.value).endObject();
        json.endArray();
      }
      json.endObject();
    }
    json.endArray().endObject().finish();
    return 0;
  }

  std::cout << tree.text(root) << '\n';
  for (TreeItem item : entries) {
    const std::string text = tree.text(item);
    const int n = diskNumberOf(text);
    std::cout << "  " << text;
    if (n < 0) {
      if (floppy) std::cout << "  (" << *floppy << ')';
      std::cout << '\n';
      continue;
    }
    if (auto path = devices.resolve(platform::DeviceTable::physicalDriveName(n)))
      std::cout << "  (" << *path << ')';
    std::cout << '\n';
    for (const auto& row : diskFactsRows(session, static_cast<unsigned>(n)))
      std::cout << "      " << row.text() << '\n';
  }
  return 0;
}

}  // namespace tessaly::cli
