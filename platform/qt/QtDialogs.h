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
    MessageResult detailedMessageBox(const QString& text, const QString& detail,
                                     const QString& title, MessageIcon icon) override;

    // What a window manager's title bar takes beside its title: the icon and three buttons.
    static constexpr int kTitleBarAllowance = 120;

  private:
    MessageResult show(const QString& text, const QString& detail, const QString& title,
                       MessageIcon icon, MessageButtons buttons);

    QString applicationTitle_;
    QWidget* parent_ = nullptr;
};

}  // namespace tarvel
