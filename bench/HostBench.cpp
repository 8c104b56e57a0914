// Measures the host's own costs on the real event loop: what a wait costs, how soon a reply over
// a pseudo-terminal reaches ReceiveBuffer, how long the scan of the largest image takes, and what
// checking the signature of the largest approved list adds. Prints one line per figure.
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtIntervalTimer.h"
#include "platform/qt/QtSerialDevice.h"
#include "session/UpdateSession.h"
#include "sim/PtyLine.h"
#include "tests/support/CpuTime.h"
#include "tests/support/Fakes.h"
#include "tests/support/Wire.h"
#include "update/ApprovedImages.h"
#include "update/ImageInspection.h"
#include "update/ImageSnapshot.h"
#include "update/TrustedKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarvel;
using test::cpuSeconds;

namespace {
bool minisign(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("minisign"), arguments);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

// The median of 21 runs of check, in milliseconds.
template <typename Check>
double medianMs(Check check) {
    std::vector<double> times;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        check();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::nth_element(times.begin(), times.begin() + 10, times.end());
    return times[10];
}

// What a trusted key adds to an update's look at the largest list a station reads (1 MiB): the
// key read, the signature read and checked against the list, beside the same list unsigned.
void signatureCost(const QTemporaryDir& folder, const FileSystem& files,
                   const SettingsStore& settings) {
    const QString lists = folder.filePath("lists"), keys = folder.filePath("keys");
    QDir().mkpath(lists);
    QDir().mkpath(keys);
    QByteArray text;
    for (int line = 0; text.size() + 90 < (1 << 20); ++line)
        text += QByteArray(64, 'a') + "  archive/DVB-SAT-" + QByteArray::number(line) + ".bin\n";
    QFile list(lists + "/SHA256SUMS");
    list.open(QIODevice::WriteOnly);
    list.write(text);
    list.close();
    if (!minisign({"-G", "-W", "-p", keys + "/bench.pub", "-s", folder.filePath("bench.key")}) ||
        !minisign({"-S", "-s", folder.filePath("bench.key"), "-m", list.fileName()})) {
        std::printf("signature check of the largest list: not measured (no minisign)\n");
        return;
    }
    // The list is read and parsed with or without a key; what a key adds is the key read, the
    // signature read and both of its checks (the list's BLAKE2b-512 hash, two Ed25519 checks).
    const ApprovedImages parsed = ApprovedImages::parse(list.fileName(), text);
    bool holds = false;
    const double signatureMs = medianMs([&] {
        ApprovedImages checked = parsed;
        checked.checkSignature(files, TrustedKeys::load(files, keys), text);
        holds = checked.signature().holds;
    });
    const double wholeMs = medianMs([&] { approvedImagesFor(files, settings, lists, {}); });
    std::printf(
        "signature check of the largest list (%lld bytes): +%.2f ms (%s), beside %.2f ms "
        "to read and parse the list\n",
        static_cast<long long>(text.size()), signatureMs, holds ? "valid" : "NOT valid", wholeMs);
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double waitSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    sim::PtyLine pty(0);
    QString error;
    if (!pty.open(&error)) {
        std::fprintf(stderr, "cannot open a pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    test::MemorySettingsStore settings;
    settings.values["Ports/COM1"] = pty.slavePath();
    QtClock clock;
    QtEventPump pump;
    QtSerialDevice device;
    test::FakeDialogs dialogs;
    QtIntervalTimer timer1;
    QtFileSystem files;
    QTemporaryDir folder;
    UpdateSession session(
        {clock, pump, settings, dialogs, device, timer1, files, nullptr, folder.path()});
    SerialLink& link = session.link();
    if (!session.openPort(PortChoice::com(1))) {
        std::fprintf(stderr, "cannot open the pseudo-terminal\n");
        return 1;
    }

    const double cpuBefore = cpuSeconds();
    const double start = clock.seconds();
    link.replies().warte(waitSeconds);
    const double wall = clock.seconds() - start;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("warte(%.1f): %.4f s wall, %.4f s CPU = %.3f %% of one core\n", waitSeconds, wall,
                cpu, 100.0 * cpu / wall);

    const double shortStart = clock.seconds();
    for (int i = 0; i < 100; ++i)
        link.replies().warte(0.01);
    std::printf("warte(0.01): %.3f ms on average over 100 waits\n",
                (clock.seconds() - shortStart) * 1e3 / 100);

    // Through the reply waiter, as every wait of an update sees a reply.
    std::vector<double> latencies;
    for (int round = 0; round < 500; ++round) {
        link.replies().discard();
        double writtenAt = 0;
        QTimer::singleShot(1, [&] {
            writtenAt = clock.seconds();
            pty.write("K!");
        });
        link.replies().waitFor(Expected::anywhere({"K!"}), clock.seconds(), 1.0);
        latencies.push_back(clock.seconds() - writtenAt);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "reply to ReceiveBuffer over a pty (500 replies): median %.3f ms, p99 %.3f ms, "
        "max %.3f ms\n",
        latencies[latencies.size() / 2] * 1e3, latencies[latencies.size() * 99 / 100] * 1e3,
        latencies.back() * 1e3);

    // The scan that sets the progress maximum, over the largest image the transfer carries.
    QFile image(folder.filePath("DVB-SAT-big.bin"));
    image.open(QIODevice::WriteOnly);
    image.write(test::ackImage(237, [](int, int) { return true; }));
    image.close();
    UpdateContext update(link.replies(), session.status(), clock, files);
    Recovery recovery(update);
    AckTransfer transfer(update, recovery);
    QElapsedTimer scan;
    scan.start();
    const int blocks = transfer.CountDataBlocks(image.fileName());
    std::printf("CountDataBlocks over 237 sectors (%d data blocks): %.1f ms\n", blocks,
                scan.nsecsElapsed() / 1e6);

    // The approved-list check of the largest image (255 request-driven sectors): reading the
    // image once and hashing it, which every update does for its record, and the list's part.
    QFile largest(folder.filePath("DVB-GEN-big.bin"));
    largest.open(QIODevice::WriteOnly);
    largest.write(test::requestImage(255));
    largest.close();
    QElapsedTimer read;
    read.start();
    const std::optional<QByteArray> bytes = readWholeImage(files, largest.fileName());
    const QByteArray sha256 = sha256Of(*bytes);
    const double readMs = read.nsecsElapsed() / 1e6;
    QFile list(folder.filePath("SHA256SUMS"));
    list.open(QIODevice::WriteOnly);
    list.write(sha256 + "  DVB-GEN-big.bin\n");
    list.close();
    QElapsedTimer check;
    check.start();
    const auto approved = approvedImagesFor(files, settings, folder.path(), TrustedKeys());
    const bool passed = approved && approved->refusal("DVB-GEN-big.bin", sha256).isEmpty();
    std::printf(
        "approved-list check of 255 sectors: %.3f ms (%s); reading and hashing the image "
        "once: %.1f ms\n",
        check.nsecsElapsed() / 1e6, passed ? "approved" : "NOT approved", readMs);
    signatureCost(folder, files, settings);
    return 0;
}
