#include "record/LogFile.h"

#include <cerrno>
#include <cstring>

namespace tarvel {

namespace {
// Names tried before giving up: far more runs than can start within one second on one port.
constexpr int kMaxSuffix = 1000;
}  // namespace

bool LogFile::create(const QString& folder, const QString& stem) {
    file_.close();
    written_ = 0;
    reason_.clear();
    for (int n = 1; n <= kMaxSuffix; ++n) {
        const QString name = n == 1 ? stem : stem + QLatin1Char('-') + QString::number(n);
        file_.setFileName(folder + QLatin1Char('/') + name + QStringLiteral(".log"));
        // NewOnly fails on a name that exists, made by another process a moment ago included.
        if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!file_.exists()) {
            reason_ = file_.errorString();
            return false;
        }
    }
    reason_ = QStringLiteral("%1 names are taken").arg(kMaxSuffix);
    return false;
}

bool LogFile::write(const QByteArray& lines) {
    if (!file_.isOpen())
        return false;
    errno = 0;
    if (file_.write(lines) == lines.size()) {
        written_ += lines.size();
        return true;
    }
    // Unbuffered, QFile reports a write cut short as a success of fewer bytes, with no error of
    // its own ("Unknown error"); the system's reason is in errno.
    const int code = errno;
    reason_ = file_.error() != QFileDevice::NoError || code == 0
                  ? file_.errorString()
                  : QString::fromLocal8Bit(std::strerror(code));
    cutShort();
    return false;
}

void LogFile::cutShort() {
    if (written_ == 0) {
        file_.remove();
        return;
    }
    // Shrinking the file frees room within what it already holds on the disk.
    const QByteArray why = "Log cut short: " + reason_.toUtf8() + '\n';
    if (!file_.resize(written_) || !file_.seek(written_) || file_.write(why) != why.size())
        file_.resize(written_);
    file_.close();
}

}  // namespace tarvel
