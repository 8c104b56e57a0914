#pragma once

#include "update/ImageSlot.h"
#include "update/UpdateTrack.h"

namespace tarvel {

class Clock;
class FileSystem;
class ReplyWaiter;
class StatusDisplay;

// What the phases of one update work with: the line to the module, the status display, the
// clock, the image slot that both transfers send from, and where the update stands. Each phase
// keeps what it learns to itself and returns how it ended.
class UpdateContext {
  public:
    UpdateContext(ReplyWaiter& line, StatusDisplay& status, Clock& clock, const FileSystem& files)
        : line_(line), status_(status), clock_(clock), image_(files), track_(clock, line) {}

    ReplyWaiter& line() { return line_; }
    StatusDisplay& status() { return status_; }
    const Clock& clock() const { return clock_; }
    ImageSlot& image() { return image_; }
    UpdateTrack& track() { return track_; }
    const UpdateTrack& track() const { return track_; }

  private:
    ReplyWaiter& line_;
    StatusDisplay& status_;
    Clock& clock_;
    ImageSlot image_;
    UpdateTrack track_;
};

}  // namespace tarvel
