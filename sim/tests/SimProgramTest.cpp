#include "sim/tests/Printing.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kSector = 65536;

// QProcess wants an application object; one serves every test.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "sim_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* const app = new QCoreApplication(argc, argv);  // lives to the end
    (void)app;
}

// The simulator program, started for one test; its first line names the line to open.
class Simulator {
  public:
    explicit Simulator(const QStringList& arguments) {
        ensureApplication();
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(TARVEL_MODULE_SIM), arguments);
        QElapsedTimer timer;
        timer.start();
        while (!process_.canReadLine() && timer.elapsed() < 3000)
            process_.waitForReadyRead(100);
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~Simulator() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }

    QString path() const { return path_; }
    QProcess& process() { return process_; }

  private:
    QProcess process_;
    QString path_;
};

// The host's end: the device opened as a serial port would be, in raw mode.
class HostPort {
  public:
    explicit HostPort(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return;
        termios raw{};
        tcgetattr(fd_, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd_, TCSANOW, &raw);
    }
    ~HostPort() {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool isOpen() const { return fd_ >= 0; }

    bool write(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, bytes.size() - done);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN)
                return false;
            pollfd out{fd_, POLLOUT, 0};
            if (::poll(&out, 1, 2000) <= 0)
                return false;
        }
        return true;
    }

    // Reads until `wanted` is at the end of what came, or the time is up.
    QByteArray readUntil(const QByteArray& wanted, int timeoutMs) {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (!got.endsWith(wanted)) {
            const int left = timeoutMs - static_cast<int>(timer.elapsed());
            pollfd in{fd_, POLLIN, 0};
            if (left <= 0 || ::poll(&in, 1, left) <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;  // hung up
            got.append(buffer, n);
        }
        return got;
    }

    // True when the far end has dropped the line within the time.
    bool hungUp(int timeoutMs) {
        pollfd in{fd_, POLLIN, 0};
        if (::poll(&in, 1, timeoutMs) <= 0)
            return false;
        char byte;
        return (in.revents & POLLHUP) != 0 || ::read(fd_, &byte, 1) <= 0;
    }

  private:
    int fd_ = -1;
};

QByteArray pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
    return bytes;
}

TEST(SimProgram, AnnouncesOnTwelveX) {
    Simulator sim({});
    ASSERT_TRUE(sim.path().startsWith("/dev/")) << sim.path().toStdString();
    HostPort port(sim.path());
    ASSERT_TRUE(port.isOpen());
    ASSERT_TRUE(port.write(QByteArray(12, 'X')));
    EXPECT_EQ(port.readUntil("UP", 2000), "UP");
}

TEST(SimProgram, SurvivesTheHostReopeningThePort) {
    Simulator sim({"--announce", "TC"});
    {
        HostPort first(sim.path());
        ASSERT_TRUE(first.write(QByteArray(12, 'X')));
        EXPECT_EQ(first.readUntil("TC", 2000), "TC");
    }
    HostPort second(sim.path());
    ASSERT_TRUE(second.write(QByteArray(12, 'X')));
    EXPECT_EQ(second.readUntil("TC", 2000), "TC");
}

TEST(SimProgram, TestModeRequestsAndExitsWhenAnswered) {
    Simulator sim({"--test-mode", "--test-mode-delay", "0.1", "--exit-when-done"});
    HostPort port(sim.path());
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(port.readUntil("UP", 2000), "UP");
    ASSERT_TRUE(port.write(QByteArray("OK") + '\x01'));
    EXPECT_TRUE(port.readUntil("OK", 2000).endsWith("OK"));
    ASSERT_TRUE(sim.process().waitForFinished(3000));
    EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process().exitCode(), 0);
}

TEST(SimProgram, WritesTheFlashFileAtTheLinesPace) {
    QTemporaryDir dir;
    const QString flash = dir.filePath("flash.bin");
    // Ten times the real rate keeps the test short and the pacing measurable.
    Simulator sim({"--baud", "1152000", "--flash", flash, "--exit-when-done"});
    HostPort port(sim.path());
    ASSERT_TRUE(port.write(QByteArray(12, 'X')));
    ASSERT_EQ(port.readUntil("UP", 2000), "UP");
    ASSERT_TRUE(port.write(QByteArray("OK") + '\x01'));
    ASSERT_EQ(port.readUntil("OK", 2000), "OK");

    const QByteArray sector = pattern(kSector);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(port.write(sector));
    EXPECT_EQ(port.readUntil("EN", 3000), "EN");
    EXPECT_GE(timer.elapsed(), 500);  // 65536 bytes at 115200 bytes/s take 0.57 s

    ASSERT_TRUE(sim.process().waitForFinished(3000));
    EXPECT_EQ(sim.process().exitCode(), 0);
    QFile file(flash);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == sector);
}

TEST(SimProgram, HangsUpAndExits) {
    Simulator sim({"--hang-up-at", "0"});
    HostPort port(sim.path());
    ASSERT_TRUE(port.write(QByteArray(12, 'X')));
    EXPECT_TRUE(port.hungUp(2000));
    ASSERT_TRUE(sim.process().waitForFinished(3000));
    EXPECT_EQ(sim.process().exitCode(), 0);
}

TEST(SimProgram, EndsCleanlyOnTerminate) {
    QTemporaryDir dir;
    const QString flash = dir.filePath("flash.bin");
    Simulator sim({"--type", "DVBTER", "--flash", flash});
    HostPort port(sim.path());
    ASSERT_TRUE(port.write(QByteArray("DVBTER").repeated(5)));
    ASSERT_EQ(port.readUntil("R!", 2000), "R!");
    ASSERT_TRUE(port.write(QByteArray("DVBTER") + 'b' + char(19)));
    ASSERT_EQ(port.readUntil("W!K!", 2000), "W!K!");

    sim.process().terminate();
    ASSERT_TRUE(sim.process().waitForFinished(3000));
    EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process().exitCode(), 0);
    EXPECT_EQ(QFile(flash).size(), kSector);
}

}  // namespace
