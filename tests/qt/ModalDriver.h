#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

namespace tarvel::test {

// Plays the technician at the program's modal windows: each one that opens is handed to the
// next scripted step of its kind. Message boxes without a step are answered with their default
// button; every message box text is recorded.
class ModalDriver {
  public:
    ModalDriver();

    // Steps for the expert login: type the text, then press OK (true) or Abbrechen (false).
    struct LoginStep {
        QString password;
        bool pressOk;
    };
    std::deque<LoginStep> logins;
    std::deque<QMessageBox::StandardButton> messageAnswers;
    std::deque<QString> filesToOpen;  // empty string: cancel the dialog

    // Called as each message box is answered.
    std::function<void(const QString& text)> onMessage;

    QStringList messages;
    QStringList fileFilters;  // what each file dialog's filter shows
    QStringList messageTitles;
    QStringList details;        // the smaller print below a box's text, where it has one
    QStringList clippedTitles;  // of boxes too narrow for their title and a title bar's buttons
    int loginDialogsSeen = 0;

  private:
    void handle(QWidget* modal);
    void act(std::function<void()> action);

    QTimer timer_;
    bool busy_ = false;
};

}  // namespace tarvel::test
