// A USB adapter's latency timer: lowered through sysfs where allowed, named to the technician
// when it stays slow.
#include "platform/qt/AdapterLatency.h"
#include "serial/SerialLink.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/Fakes.h"
#include "tests/support/VirtualTime.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

namespace tarvel::test {
namespace {

TEST(LatencyTimer, IsLoweredWhereWritableAndReportedAsItIsAfterwards) {
    using Row = std::tuple<QByteArray, bool, std::optional<int>, QByteArray>;  // "": no timer
    for (const auto& [before, writable, reported, after] :
         {Row{"16\n", true, 1, "1"}, Row{"16\n", false, 16, "16\n"}, Row{"1\n", true, 1, "1\n"},
          Row{"", true, std::nullopt, ""}}) {
        SCOPED_TRACE(before.toStdString() + (writable ? "writable" : "read-only"));
        QTemporaryDir root;
        const QString timer = root.filePath("bus/usb-serial/devices/ttyUSB0/latency_timer");
        QDir(root.path()).mkpath("bus/usb-serial/devices/ttyUSB0");
        // Stands for /dev/serial/by-id/...: a link to something named ttyUSB0.
        QFile::link(root.filePath("bus/usb-serial/devices/ttyUSB0"), root.filePath("by-id"));
        if (QFile file(timer); !before.isEmpty() && file.open(QIODevice::WriteOnly))
            file.write(before);
        ::chmod(qPrintable(root.path()), 0755);
        ::chmod(qPrintable(timer), writable ? 0644 : 0444);
        // Root may write any file; a technician may not write the timer.
        const bool asNobody = !writable && ::geteuid() == 0 && ::seteuid(65534) == 0;
        EXPECT_EQ(lowerLatencyTimer(root.filePath("by-id"), root.path()), reported);
        if (asNobody && ::seteuid(0) != 0)
            std::abort();
        QFile file(timer);
        EXPECT_EQ(file.open(QIODevice::ReadOnly) ? file.readAll() : "", after);
    }
}

TEST(LatencyTimer, OnlyATimerAboveTwoMillisecondsIsNamedToTheTechnician) {
    struct Adapter : FakeSerialDevice {
        using FakeSerialDevice::FakeSerialDevice;
        std::optional<int> latencyTimerMs() const override { return ms; }
        std::optional<int> ms;
    };
    using Row = std::pair<std::optional<int>, QString>;
    for (const auto& [ms, hint] :
         {Row{16, "timer is 16 ms"}, Row{3, "timer is 3 ms"}, Row{2, ""}, Row{std::nullopt, ""}}) {
        VirtualTime time;
        Adapter device(time);
        device.ms = ms;
        device.presentPaths.insert("/dev/ttyS0");
        FakeDialogs dialogs;
        const MemorySettingsStore settings;
        SerialLink link(device, time, time, dialogs, settings);
        QString shown;
        link.onSlowAdapter = [&shown](const QString& text) { shown += text; };
        link.openPort(PortChoice::com(1));
        EXPECT_EQ(shown.contains("/dev/ttyS0: the adapter's latency " + hint), !hint.isEmpty());
    }
}

}  // namespace
}  // namespace tarvel::test
