#pragma once

#include "platform/FileChooser.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarvel {

// The expert's choice among several images that fit a module. The window offers it once the
// expert password was given (ManualFileSelect); the command line has none, and the newest
// image is taken.
class ImageChooser {
  public:
    virtual ~ImageChooser() = default;
    // Whether the technician chooses now.
    virtual bool choosing() const = 0;
    // The index of the chosen image, or nothing when the selection was closed without a choice.
    virtual std::optional<int> choose(const QList<FileChoice>& choices) = 0;
    // Whether the expert lets the approved list at path through once, though it is older than
    // one already used (why names both dates). Only asked while choosing().
    virtual bool allowOlderRelease(const QString& path, const QString& why) {
        Q_UNUSED(path);
        Q_UNUSED(why);
        return false;
    }
};

}  // namespace tarvel
