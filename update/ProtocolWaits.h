#pragma once

namespace tarvel {

namespace waits {
// The pauses an update makes by itself, in seconds, whatever the module does. The forecast of
// an update's duration adds them up.
constexpr double kSwitchCheck = 0.2;    // after the switch check, for an echo
constexpr double kIdentification = 1;   // for the module to announce itself
constexpr double kQuietAfterQuit = 10;  // the older modules settle after "q"
constexpr double kPerProbe = 0.5;       // for "R!" after each probe
constexpr double kBeforeSector = 1;     // before each sector a module asked for
constexpr double kBeforeSuccess = 2;    // after the last byte, before the success word
constexpr double kSuccessShown = 3;     // the success word, before ready
constexpr double kAfterSilence = 2;     // the error word, before a request-driven run restarts
}  // namespace waits

// A requested 64 KiB sector goes out in four writes of this many bytes.
constexpr int kRequestBlockLength = 16384;

}  // namespace tarvel
