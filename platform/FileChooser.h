#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tarvel {

// One image offered for choice, with what helps to choose it.
struct FileChoice {
    QString name;
    QString modified;  // "2026-11-30 14:02"
    QString size;      // "3,211,328 bytes"
    QString duration;  // "about 4 min 10 s", or why an update would refuse the image
    QString refusal;   // why the approved list stops it; such an image cannot be chosen
    // The approved list's signature where one holds: "key 4A1C..., "release 2.00"", its trusted
    // comment as commentLine shows it; empty else.
    QString signature;
};

// The modal selection window "Fileselection": the technician double-clicks one of the images.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The index of the chosen entry, or nothing when the window was closed without a choice.
    virtual std::optional<int> choose(const QList<FileChoice>& choices) = 0;
};

}  // namespace tarvel
