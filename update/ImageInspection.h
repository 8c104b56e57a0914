#pragma once

#include "update/ImageCheck.h"
#include "update/ModuleKinds.h"
#include "update/UpdateForecast.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvel {

class FileSystem;

// Whether an update would accept an image, and what its update would cost: for the command
// line's inspect and the expert's file selection.
struct ImageInspection {
    std::optional<qint64> size;              // once the file could be opened
    std::optional<ImageKind> kind;           // nothing when neither name nor caller gave one
    ImageCheck check;                        // sectors, the walk, and why the transfer refuses it
    std::optional<UpdateForecast> forecast;  // usable images only
    bool usable() const { return check.problem.isEmpty(); }
};

// kind: the transfer to judge the image for; nothing refuses it as of unknown kind.
ImageInspection inspectImage(const FileSystem& files, const QString& path,
                             std::optional<ImageKind> kind);
// The SHA-256 of the file in hexadecimal; empty when it cannot be read.
QByteArray sha256Of(const FileSystem& files, const QString& path);
// The SHA-256 of bytes in hexadecimal.
QByteArray sha256Of(const QByteArray& bytes);

// "3,211,328 bytes"
QString byteCountText(qint64 bytes);
// "about 4 min 10 s", to the second.
QString durationText(double seconds);

}  // namespace tarvel
