// How users reach the Tessaly support team: the addresses the Support menu, the e-mailed
// report and the help book give, and the desktop program that composes e-mail.
#pragma once

namespace tessaly::wizard::support {

inline constexpr const char* kWebPage = "https://tessaly.example/support";
inline constexpr const char* kMailbox = "support@tessaly.example";
inline constexpr const char* kTelephoneText =
    "Tessaly support by telephone, Monday to Friday, 9:00 to 17:00 (CET):\n"
    "\n"
    "Europe:  +44 20 7946 0958\n"
    "North America:  +1 202 555 0143\n"
    "\n"
    "Or write to support@tessaly.example.";
inline constexpr const char* kMailComposer = "xdg-email";

}  // namespace tessaly::wizard::support
