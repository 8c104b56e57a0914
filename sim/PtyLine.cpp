#include "sim/PtyLine.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvel::sim {

namespace {
constexpr qint64 kChunk = 4096;
constexpr int kErrorBackOffMs = 50;
// While the host's bytes wait, they are taken as their line time passes, at most this much line
// time at a time (the last of them exactly when it has passed, so that the module's answer is
// as timely as on a real line), instead of a burst's worth at each of many more wake-ups.
constexpr double kPacedReadSeconds = 0.02;

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}
}  // namespace

PtyLine::PtyLine(double bytesPerSecond, int adapterLatencyMs)
    : readPace_(bytesPerSecond), writePace_(bytesPerSecond), adapter_(adapterLatencyMs) {
    readResume_.setSingleShot(true);
    readResume_.setTimerType(Qt::PreciseTimer);
    writeResume_.setSingleShot(true);
    writeResume_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&readResume_, &QTimer::timeout, [this] {
        if (readNotifier_)
            readAvailable();
    });
    QObject::connect(&writeResume_, &QTimer::timeout, [this] { writePending(); });
    adapter_.expired = [this](const QByteArray& bytes) {
        toHost_.append(bytes);
        writePending();
    };
}

PtyLine::~PtyLine() {
    close();
}

bool PtyLine::open(QString* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = systemError("grantpt/unlockpt");
        close();
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(ptsname(master_));
    if (!link_.isEmpty()) {
        if (::symlink(ptsname(master_), QFile::encodeName(link_).constData()) != 0) {
            *error = systemError("symlink") + QStringLiteral(" (%1)").arg(link_);
            close();
            return false;
        }
        linked_ = true;
        slavePath_ = link_;
    }
    // Holding the slave open ourselves keeps the master from seeing a hang-up whenever the
    // host closes its port, and lets us put the line into raw mode before the host comes.
    slave_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        *error = systemError("open slave");
        close();
        return false;
    }
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    readNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, [this] { readAvailable(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, [this] { writePending(); });
    return true;
}

// Taking no more than the budget leaves the rest in the kernel, where it backs up into the
// host's writes as on a real line. What waits there is on the line already: the pacer counts its
// line time as passing even while the module is slow to take it, as a UART's receiver does.
void PtyLine::readAvailable() {
    if (readPace_.paced())
        readPace_.setWaiting(bytesWaiting());
    const qint64 budget = std::min(readPace_.allowance(), kChunk);
    if (budget <= 0) {
        pauseReading(bytesWaiting());
        return;
    }
    char buffer[kChunk];
    const ssize_t n = ::read(master_, buffer, static_cast<size_t>(budget));
    if (n > 0) {
        readPace_.consume(n);
        const qint64 waiting = readPace_.paced() ? bytesWaiting() : 0;
        readPace_.setWaiting(waiting);
        if (waiting > 0 || readPace_.allowance() <= 0)
            pauseReading(waiting);
        else
            readNotifier_->setEnabled(true);
        if (received)
            received(QByteArray(buffer, static_cast<qsizetype>(n)));
    } else if (slave_ < 0 && (n == 0 || errno == EIO)) {
        // Nobody holds the host's end any more.
        readNotifier_->setEnabled(false);
        if (hostClosed)
            hostClosed();
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        // Should the line fail after all, look again later instead of spinning on the error.
        readNotifier_->setEnabled(false);
        readResume_.start(kErrorBackOffMs);
    } else {
        readNotifier_->setEnabled(true);
    }
}

qint64 PtyLine::bytesWaiting() const {
    int count = 0;
    return master_ >= 0 && ::ioctl(master_, FIONREAD, &count) == 0 ? count : 0;
}

// Reading resumes when what waits has had its line time, at most kPacedReadSeconds of it; with
// nothing waiting, when half a burst has been saved up.
void PtyLine::pauseReading(qint64 waiting) {
    if (!readNotifier_)
        return;
    readNotifier_->setEnabled(false);
    const auto most =
        static_cast<qint64>(std::max(1.0, readPace_.bytesPerSecond() * kPacedReadSeconds));
    readResume_.start(waiting > 0 ? readPace_.millisecondsUntil(std::min(waiting, most))
                                  : readPace_.millisecondsToRefill());
}

void PtyLine::write(const QByteArray& bytes) {
    if (master_ < 0)
        return;
    pending_.append(bytes);
    if (!writeResume_.isActive() && !writeNotifier_->isEnabled())
        writePending();
}

// The line's pace lets bytes into the adapter; what the adapter lets go is written to the host,
// and while the pseudo-terminal takes no more, nothing more goes onto the line either.
void PtyLine::writePending() {
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
    while (master_ >= 0) {
        if (!toHost_.isEmpty()) {
            const ssize_t n =
                ::write(master_, toHost_.constData(), static_cast<size_t>(toHost_.size()));
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    writeNotifier_->setEnabled(true);
                } else {
                    toHost_.clear();
                    pending_.clear();
                }
                return;
            }
            toHost_.remove(0, n);
            continue;
        }
        if (pending_.isEmpty())
            return;
        const qint64 budget = std::min<qint64>(writePace_.allowance(), pending_.size());
        if (budget <= 0) {
            writeResume_.start(writePace_.millisecondsToRefill());
            return;
        }
        writePace_.consume(budget);
        toHost_ = adapter_.take(pending_.left(budget));
        pending_.remove(0, budget);
    }
}

void PtyLine::flush(int timeoutMs) {
    toHost_ += adapter_.drain() + std::exchange(pending_, QByteArray());
    QElapsedTimer timer;
    timer.start();
    while (master_ >= 0 && !toHost_.isEmpty() && timer.elapsed() < timeoutMs) {
        const ssize_t n =
            ::write(master_, toHost_.constData(), static_cast<size_t>(toHost_.size()));
        if (n > 0) {
            toHost_.remove(0, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break;
        pollfd fd{master_, POLLOUT, 0};
        ::poll(&fd, 1, 10);
    }
}

void PtyLine::releaseHostEnd() {
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

void PtyLine::close() {
    readResume_.stop();
    writeResume_.stop();
    readNotifier_.reset();
    writeNotifier_.reset();
    pending_.clear();
    adapter_.drain();
    toHost_.clear();
    // The name goes first, like the device node of an adapter pulled out.
    if (linked_)
        ::unlink(QFile::encodeName(link_).constData());
    linked_ = false;
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = -1;
    slave_ = -1;
}

}  // namespace tarvel::sim
