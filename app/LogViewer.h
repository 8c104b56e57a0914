#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace tarvel {

// A log in a window of its own: on top what the exchange was and how it ended, with the reason
// in the technician's words; below it the log with its times in seconds, the bytes on the line
// folded away until asked for, a search and a choice of wrapping. It opens at the outcome.
class LogViewer : public QDialog {
  public:
    LogViewer(const QString& name, const QByteArray& log, QWidget* parent);

    QString summary() const;
    QPlainTextEdit* text() const { return text_; }
    QLineEdit* search() const { return search_; }
    QCheckBox* bytes() const { return bytes_; }
    QCheckBox* wrap() const { return wrap_; }

  private:
    void showText();
    void findNext();

    QByteArray log_;
    QLabel* summary_;
    QLineEdit* search_;
    QCheckBox* bytes_;
    QCheckBox* wrap_;
    QPlainTextEdit* text_;
};

// Shows the log at path in a LogViewer that stays open beside parent. Empty when shown, else
// why the file cannot be read.
QString showLog(const QString& path, QWidget* parent);

// The log as the viewer shows it: each time in seconds with its unit ("    11.726 s"); without
// bytes, each run of the transcript's lines (TX, RX) as one line that says what it stands for.
QString logForReading(const QByteArray& log, bool bytes);
// What the log was of and how it ended: its header's lines, the outcome, and the reason's
// sentences in English and German.
QString logSummary(const QByteArray& log);

}  // namespace tarvel
