#include "update/FileChoiceDetails.h"

#include "platform/FileSystem.h"
#include "update/ImageInspection.h"

#include <QDateTime>

namespace tarvel {

FileChoice describeChoice(const FileSystem& files, const QString& folder, const QString& name,
                          qint64 modified) {
    const ImageInspection inspection =
        inspectImage(files, files.join(folder, name), kindForName(name));
    FileChoice choice;
    choice.name = name;
    choice.modified =
        QDateTime::fromSecsSinceEpoch(modified).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (inspection.size)
        choice.size = byteCountText(*inspection.size);
    choice.duration = inspection.forecast
                          ? durationText(inspection.forecast->seconds)
                          : QStringLiteral("cannot be used: ") + inspection.check.problem;
    return choice;
}

}  // namespace tarvel
