#pragma once

#include "station/StationPort.h"

#include <QString>

#include <utility>
#include <vector>

namespace tarvel {

// Whose fault a failed update was, by its reason code: what the line's operator does about it.
enum class Fault {
    None,     // it succeeded
    Module,   // the module: pull it (and look at it, or send it back)
    Station,  // the station is not set up: the port, its adapter or cable, the image folder or
              // approved list, the program itself; every module after would meet it too
    Stopped,  // the run was stopped (Ctrl+C, the program closed): nothing is known
};

// The one table of it:
//   Module   switch-off, no-answer, no-confirmation, unknown-module, recovery-exhausted,
//            module-error, timeout (a module that answers but does not get through in time)
//   Station  port-unavailable, port-lost, no-image, not-approved, not-signed, bad-signature,
//            untrusted-key, image-refused, usage, crashed (an update process that gave no
//            outcome)
//   Stopped  interrupted, cancelled
Fault faultOf(ReasonCode code);

using PortResults = std::vector<std::pair<QString, std::vector<ModuleResult>>>;

// The station's last line: how many modules passed, then the ports whose last module to pull,
// the ports that are not set up, the ports where it was stopped, each port once, in port order:
// "3 of 4 passed: pull COM3." or "2 of 4 passed: pull COM2. Station not set up on COM3 (check
// its port, adapter and image folder)." The second of the pair: whether every module passed.
std::pair<QString, bool> stationVerdict(const PortResults& ports);

}  // namespace tarvel
