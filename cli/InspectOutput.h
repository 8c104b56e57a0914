#pragma once

#include "update/ImageInspection.h"

#include <QByteArray>
#include <QString>

namespace tarvel {

// One inspected image as the command line reports it.
struct InspectedFile {
    QString path;  // as named on the command line
    bool kindFromName = false;
    ImageInspection inspection;
    QByteArray sha256;  // empty when the file cannot be read
};

// A few aligned lines, then an empty line.
QString humanReport(const InspectedFile& file);
// One JSON object on one line.
QByteArray jsonReport(const InspectedFile& file);

}  // namespace tarvel
