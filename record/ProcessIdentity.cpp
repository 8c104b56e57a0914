#include "record/ProcessIdentity.h"

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tarvel {

namespace {

#ifdef Q_OS_WIN

QString bootId() {
    return QString();  // the host and the process's creation time tell enough
}

// The process's creation time in 100 ns steps, empty when there is no such process.
QString startOf(qint64 pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return QString();
    FILETIME created, exited, kernel, user;
    DWORD exitCode = 0;
    QString start;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user) &&
        GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE)
        start = QString::number((quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    CloseHandle(process);
    return start;
}

#else

QString bootId() {
    QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed())
                                          : QString();
}

// The 22nd field of /proc/PID/stat, the start in clock ticks since boot; empty when there is no
// such process. The fields are counted after the command name, which may hold spaces.
QString startOf(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return QString::fromLatin1(fields.value(19));
}

#endif

}  // namespace

ProcessIdentity ProcessIdentity::current() {
    static const ProcessIdentity self = [] {
        const qint64 pid = QCoreApplication::applicationPid();
        return ProcessIdentity{QSysInfo::machineHostName(), bootId(), pid, startOf(pid)};
    }();
    return self;
}

Liveness livenessOf(const ProcessIdentity& process) {
    const ProcessIdentity self = ProcessIdentity::current();
    if (process.host != self.host)
        return Liveness::Unknown;
    if (process.boot != self.boot)
        return Liveness::Gone;
    const QString start = startOf(process.pid);
    return !start.isEmpty() && start == process.started ? Liveness::Running : Liveness::Gone;
}

}  // namespace tarvel
