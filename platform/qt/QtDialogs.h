#pragma once

#include "platform/Dialogs.h"

class QWidget;

namespace tarvel {

class QtDialogs : public Dialogs {
  public:
    QtDialogs(QString applicationTitle) : applicationTitle_(std::move(applicationTitle)) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    MessageResult messageBox(const QString& text, const QString& title, MessageIcon icon,
                             MessageButtons buttons) override;

  private:
    QString applicationTitle_;
    QWidget* parent_ = nullptr;
};

}  // namespace tarvel
