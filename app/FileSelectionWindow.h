#pragma once

#include "platform/FileChooser.h"

class QWidget;

namespace tarvel {

// Form_Filelist: the modal window "Fileselection" in which the expert double-clicks the image
// to use when several fit the module.
class FileSelectionWindow : public FileChooser {
  public:
    void setParent(QWidget* parent) { parent_ = parent; }
    std::optional<int> choose(const QStringList& names) override;

  private:
    QWidget* parent_ = nullptr;
};

}  // namespace tarvel
