// tessaly: the recovery wizard.
#include <cstring>
#include <iostream>

#include "wizard/app.h"

wxIMPLEMENT_APP_NO_MAIN(tessaly::wizard::App);

int main(int argc, char** argv) {
  // Answered before the window library starts, so that they work without a desktop.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "tessaly " TESSALY_VERSION "\n";
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << "usage: tessaly [--floppy IMAGE] [DISK ...]\n"
                 "  DISK: a disk (/dev/sdb) or an image file (raw, E01, VHD, VHDX, VMDK, QCOW2),\n"
                 "        read only; with none named, the disks of this machine\n";
    return 0;
  }
  const int status = wxEntry(argc, argv);
  if (auto* app = dynamic_cast<tessaly::wizard::App*>(wxApp::GetInstance())) return app->exitCode();
  return status;
}
