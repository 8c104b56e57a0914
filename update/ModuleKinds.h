#pragma once

#include "update/ImageCheck.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace tarvel {

// A module of the older kind, which does not announce itself: the host asks for it with its
// type code five times, and its images are named after it.
struct ProbedType {
    QByteArray code;
    QString pattern;
};

// In the order an update probes them; the first that answers "R!" wins.
const std::array<ProbedType, 7>& probedTypes();
// The images of the modules that announce themselves and ask for their sectors.
QString announcedPattern();

// The transfer an image is carried with, and for the acknowledged one how many probes an
// update sends until its module answers.
struct ImageKind {
    TransferKind transfer = TransferKind::Request;
    int probes = 0;
};
// The kind the file name gives, matched against the patterns as the lookup does (letter case
// not significant); nothing for a name that fits none.
std::optional<ImageKind> kindForName(const QString& fileName);

}  // namespace tarvel
