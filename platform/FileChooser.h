#pragma once

#include <QStringList>

#include <optional>

namespace tarvel {

// The modal selection window "Fileselection": the technician double-clicks one of the names.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The index of the chosen entry, or nothing when the window was closed without a choice.
    virtual std::optional<int> choose(const QStringList& names) = 0;
};

}  // namespace tarvel
