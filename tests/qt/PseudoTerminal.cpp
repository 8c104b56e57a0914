#include "tests/qt/PseudoTerminal.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace tarvel::test {

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slavePath_ = QString::fromLocal8Bit(ptsname(master_));
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
}

void PseudoTerminal::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool PseudoTerminal::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
        if (n < 0) {
            pollfd fd{master_, POLLOUT, 0};
            if (::poll(&fd, 1, 1000) <= 0)
                return false;
            continue;
        }
        done += n;
    }
    return true;
}

QByteArray PseudoTerminal::read(int count, int timeoutMs) {
    QByteArray result;
    QElapsedTimer timer;
    timer.start();
    while (result.size() < count) {
        const int left = timeoutMs - static_cast<int>(timer.elapsed());
        pollfd fd{master_, POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, left) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0)
            result.append(buffer, n);
    }
    return result;
}

}  // namespace tarvel::test
