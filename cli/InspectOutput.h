#pragma once

#include "update/ImageInspection.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvel {

// One inspected image as the command line reports it.
struct InspectedFile {
    QByteArray name;  // as named on the command line, the bytes the system spells it with
    QString path;     // as the output shows it: shownName(name)
    bool kindFromName = false;
    ImageInspection inspection;
    QByteArray sha256;  // empty when the file cannot be read
    // Whether the approved list in force lets it through: nothing without a list, empty when it
    // does, else why not.
    std::optional<QString> approval;
    // The list's signature: nothing without a list; else "valid" (with the key and its trusted
    // comment), "invalid" (with why), "none" (no signature file), or "not-checked" (no trusted
    // key installed, so nothing is asked of it).
    struct Signature {
        QString state;
        QString keyId;
        QString comment;
        QString why;
    };
    std::optional<Signature> signature;
};

// A name fit for one line of output: as QtFileSystem::nameText, and control characters (a
// newline would split the report) written as \xNN.
QString shownName(const QByteArray& name);
// A few aligned lines, then an empty line.
QString humanReport(const InspectedFile& file);
// One JSON object on one line; "schema" counts the changes that would break a reader.
QByteArray jsonReport(const InspectedFile& file);

}  // namespace tarvel
