#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tarvel {

// The log of one exchange. Its file is made for it alone: a name another run holds already
// gets a suffix (-2, -3, ...), whoever made it, even within the same second. Each write goes to
// the disk in one piece, so that a killed process leaves whole lines behind. A write that fails
// (a full disk) ends the log: what was cut off is taken back to the last whole line, a line
// saying why follows where it fits, and nothing more is written.
class LogFile {
  public:
    // Makes <folder>/<stem>.log or the first free <folder>/<stem>-N.log; false with reason().
    bool create(const QString& folder, const QString& stem);
    // Lines, each ending with a line break. A failure before anything was written removes the
    // file: an empty log holds nothing of the exchange.
    bool write(const QByteArray& lines);
    void close() { file_.close(); }

    bool isOpen() const { return file_.isOpen(); }
    // The file, while it holds anything; empty otherwise.
    QString path() const { return written_ > 0 ? file_.fileName() : QString(); }
    QString fileName() const { return file_.fileName(); }
    const QString& reason() const { return reason_; }

  private:
    void cutShort();

    QFile file_;
    qint64 written_ = 0;  // bytes of whole lines in the file
    QString reason_;
};

}  // namespace tarvel
