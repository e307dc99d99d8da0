// The subcommands of tessaly-cli.
#pragma once

#include <string>
#include <vector>

namespace tessaly::cli {

int partitionsCommand(const std::vector<std::string>& args);
int disksCommand(const std::vector<std::string>& args);
int registerCommand(const std::vector<std::string>& args);
int scanCommand(const std::vector<std::string>& args);
int recoverCommand(const std::vector<std::string>& args);

}  // namespace tessaly::cli
