#include "cli/destination.h"

#include <iostream>

#include "save/destination_check.h"

namespace tessaly::cli {

bool destinationAllowed(const Session& session, const std::string& folder, bool allowSameDisk) {
  const DestinationVerdict verdict = checkDestination(session, folder);
  if (verdict == DestinationVerdict::Fine) return true;
  const std::string text = destinationProblemText(session, folder, verdict);
  if (verdict == DestinationVerdict::SameDisk && allowSameDisk) {
    std::cerr << "tessaly-cli: warning: " << text << " Going on as --allow-same-disk asks.\n";
    return true;
  }
  std::cerr << "tessaly-cli: " << text;
  if (verdict == DestinationVerdict::SameDisk)
    std::cerr << " (--allow-same-disk saves there anyway.)";
  std::cerr << "\n";
  return false;
}

}  // namespace tessaly::cli
