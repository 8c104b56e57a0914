#pragma once

#include <QDialog>

#include <optional>

class QLineEdit;
class QPushButton;

namespace tarvel {

class Dialogs;

// frmLogin, the modal "Expert Password" window. OK accepts only the expert password and keeps
// the window open after a wrong one; Cancel (or Esc) declines; the frame's close box decides
// nothing.
class LoginDialog : public QDialog {
  public:
    LoginDialog(Dialogs& dialogs, QWidget* parent);

    // True: password accepted; false: cancelled; nothing: closed by the frame.
    std::optional<bool> outcome() const { return outcome_; }

    QLineEdit* txtPassword = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void cmdOK_Click();
    void cmdCancel_Click();

    Dialogs& dialogs_;
    std::optional<bool> outcome_;
};

}  // namespace tarvel
