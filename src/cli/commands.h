// The subcommands of tessaly-cli.
#pragma once

#include <string>
#include <vector>

namespace tessaly::platform {
class DeviceTable;
}

namespace tessaly::cli {

int partitionsCommand(const std::vector<std::string>& args);
int disksCommand(const std::vector<std::string>& args);
int registerCommand(const std::vector<std::string>& args);
int scanCommand(const std::vector<std::string>& args);
int recoverCommand(const std::vector<std::string>& args);
int carveCommand(const std::vector<std::string>& args);
// The same on a device table the caller made; a device attached to it for the disk is
// read instead of the path named.
int partitionsCommand(const std::vector<std::string>& args, platform::DeviceTable& devices);
int scanCommand(const std::vector<std::string>& args, platform::DeviceTable& devices);
int recoverCommand(const std::vector<std::string>& args, platform::DeviceTable& devices);
int carveCommand(const std::vector<std::string>& args, platform::DeviceTable& devices);

}  // namespace tessaly::cli
