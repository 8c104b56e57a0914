#pragma once

#include "platform/FileChooser.h"

class QWidget;

namespace tarvel {

// Form_Filelist: the modal window "Fileselection" in which the expert double-clicks the image
// to use when several fit the module; each shows its date, its size and how long its update
// takes.
class FileSelectionWindow : public FileChooser {
  public:
    void setParent(QWidget* parent) { parent_ = parent; }
    std::optional<int> choose(const QList<FileChoice>& choices) override;

  private:
    QWidget* parent_ = nullptr;
};

}  // namespace tarvel
