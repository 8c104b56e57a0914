#include "platform/qt/AdapterLatency.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace tarvel {

namespace {
std::optional<int> readMilliseconds(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int value = file.read(16).trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}
}  // namespace

void requestLowLatency(int fd) {
#ifdef Q_OS_LINUX
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
#else
    Q_UNUSED(fd);
#endif
}

std::optional<int> lowerLatencyTimer(const QString& devicePath, const QString& sysfsRoot) {
    // sysfs knows the adapter by its kernel name (ttyUSB0), not by the link that led to it.
    const QString resolved = QFileInfo(devicePath).canonicalFilePath();
    const QString kernelName = QFileInfo(resolved.isEmpty() ? devicePath : resolved).fileName();
    const QString timerPath =
        QStringLiteral("%1/bus/usb-serial/devices/%2/latency_timer").arg(sysfsRoot, kernelName);
    const std::optional<int> before = readMilliseconds(timerPath);
    if (!before || *before <= 1)
        return before;
    // Usually only root may write it; then the timer stays as it was.
    QFile timer(timerPath);
    if (timer.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        timer.write("1");
    timer.close();
    return readMilliseconds(timerPath).value_or(*before);
}

}  // namespace tarvel
