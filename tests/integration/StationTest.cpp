// tarvel-update station against tarvel-module-sim: several modules at once, each in its own
// update process; a failure or a pulled adapter on one port leaves the others alone, Ctrl+C
// ends every update as interrupted, --repeat takes module after module on one port.
#include "tests/support/Programs.h"
#include "tests/support/Wire.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <memory>

#include <unistd.h>

namespace tarvel::test {
namespace {

struct Station : ::testing::Test {
    QString file(const QString& name) const { return home.filePath(name); }
    // The settings: each COMn of ports leads to its device; more lines after them.
    void settings(const std::map<QString, QString>& ports, const QByteArray& more = {}) {
        QByteArray text = "[Ports]\n";
        for (const auto& [name, device] : ports)
            text += name.toUtf8() + '=' + device.toUtf8() + '\n';
        ASSERT_TRUE(writeFile(file("config/Tarvel_Update_Utility.ini"), text + more));
    }
    // The history's rows, newest first.
    QJsonArray history() {
        QProcess cli;
        startCli(cli, home.path(), {"history", "--json"});
        return QJsonDocument::fromJson(finish(cli, 10).out.toUtf8()).array();
    }
    // Reads the station's JSON lines until done says so of the lines so far; false when the
    // station ended first.
    bool readUntil(QProcess& cli, const std::function<bool(const QList<QJsonObject>&)>& done) {
        while (!done(lines)) {
            if (!cli.canReadLine() && !cli.waitForReadyRead(120000))
                return false;
            while (cli.canReadLine())
                lines << QJsonDocument::fromJson(cli.readLine()).object();
        }
        return true;
    }
    // The ports of the lines of one event (with that word, or a percent above 0).
    QStringList portsWith(const QString& event, const QString& word = {}) const {
        QStringList ports;
        for (const QJsonObject& line : lines) {
            if (line.value("event") == event && (word.isEmpty() || line.value("word") == word) &&
                line.value("percent").toInt(1) > 0)
                ports << line.value("port").toString();
        }
        return ports;
    }
    QJsonObject stationLine(QProcess& cli) {
        readUntil(cli, [](const QList<QJsonObject>& all) {
            return !all.isEmpty() && all.last().value("event") == "station";
        });
        return lines.isEmpty() ? QJsonObject() : lines.last();
    }
    QTemporaryDir home;
    QList<QJsonObject> lines;
};

// COM1 and COM4 succeed while COM2's module rejects a block and COM3's adapter is pulled during
// the transfer; the table says so, the history holds each outcome, the exit status is the worst.
TEST_F(Station, AFailedAndAPulledModuleLeaveTheOthersAlone) {
    const QString images = file("images");
    writeFile(images + "/DVB-GEN-1.bin", requestImage(1));
    writeFile(images + "/DVB-SAT-1.bin", ackImage(1, [](int, int block) { return block < 8; }));
    SimulatorProcess good1({"--announce", "UP"});
    SimulatorProcess failing({"--type", "DVBSAT", "--reject-block", "2"});
    SimulatorProcess pulled({"--announce", "UP", "--hang-up-at", "2"});
    SimulatorProcess good4({"--type", "DVBSAT"});
    settings({{"COM1", good1.path()},
              {"COM2", failing.path()},
              {"COM3", pulled.path()},
              {"COM4", good4.path()}},
             "[Station]\nPorts=COM1, COM2 COM3,COM4\n");
    QProcess cli;
    startCli(cli, home.path(), {"station", "--folder", images, "--timeout", "100"});
    const CliRun run = finish(cli, 110);
    EXPECT_EQ(run.exitCode, 1) << qPrintable(run.out + run.err);
    const struct {
        const char* port;
        const char* module;
        const char* image;
        const char* outcome;
        const char* reason;
    } rows[] = {
        {"COM1", "UP    ", "DVB-GEN-1.bin", "success", "completed"},
        {"COM2", "DVBSAT", "DVB-SAT-1.bin", "error  ", "module-error"},
        {"COM3", "UP    ", "DVB-GEN-1.bin", "error  ", "port-lost"},
        {"COM4", "DVBSAT", "DVB-SAT-1.bin", "success", "completed"},
    };
    EXPECT_TRUE(run.out.contains("\nPORT  MODULE  IMAGE          OUTCOME  SECONDS\n"))
        << qPrintable(run.out);
    const QJsonArray recorded = history();
    EXPECT_EQ(recorded.size(), 4);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        EXPECT_TRUE(run.out.contains(
            QRegularExpression(QStringLiteral("\n%1  %2  %3  %4 +[0-9]+\\.[0-9]\n")
                                   .arg(row.port, row.module, row.image, row.outcome))))
            << qPrintable(run.out);
        int found = 0;
        for (const QJsonValue& value : recorded) {
            const QJsonObject history = value.toObject();
            if (history.value("port") == row.port) {
                ++found;
                EXPECT_EQ(history.value("outcome").toString(), QString(row.outcome).trimmed());
                EXPECT_EQ(history.value("reason_code").toString(), row.reason);
            }
        }
        EXPECT_EQ(found, 1);
    }
    // Each failure's reason once, in port order, after the table; then the verdict: the module
    // to pull apart from the port whose station is not set up. The boxes the children showed
    // are not said again.
    const QString summary = run.out.section("\nPORT ", 1);
    EXPECT_TRUE(summary.contains(QRegularExpression(
        "\nCOM2: module-error: [^\n]+\nCOM3: port-lost: Com3 \\([^\n]+\n2 of 4")))
        << qPrintable(summary);
    EXPECT_TRUE(
        run.out.endsWith("\n2 of 4 passed: pull COM2. Station not set up on COM3 (check "
                         "the port, its adapter and cable, the image folder).\n"))
        << qPrintable(run.out);
    EXPECT_EQ(run.err, "");
}

// On a terminal of 50 or 80 columns every line fits; the bar and the whole status word come
// first, a failed port keeps how far it got, the words are coloured unless NO_COLOR is set, and
// the verdict ends it.
TEST_F(Station, LiveLinesFitTheTerminalAndKeepAFailureReadable) {
    const QString images = file("images");
    writeFile(images + "/DVB-GEN-1.bin", requestImage(1));
    writeFile(images + "/DVB-SAT-1.bin", ackImage(1, [](int, int block) { return block < 8; }));
    const struct {
        unsigned short columns;
        const char* noColor;
        int leastBar;  // "[" and "]" and the dots and hashes between
    } rows[] = {{50, "", 12}, {80, "1", 21}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.columns);
        SimulatorProcess good({"--announce", "UP"});
        SimulatorProcess failing({"--type", "DVBSAT", "--reject-block", "2"});
        settings({{"COM1", good.path()}, {"COM2", failing.path()}});
        const QByteArray term = qgetenv("TERM");
        qputenv("NO_COLOR", row.noColor);
        qputenv("TERM", "xterm");
        const QByteArray shown =
            onTerminal(home.path(),
                       {"station", "--folder", images, "--port", "COM1", "--port", "COM2"},
                       row.columns)
                .out.toUtf8();
        qunsetenv("NO_COLOR");
        qputenv("TERM", term);
        QString plain = QString::fromUtf8(shown);
        plain.remove(QRegularExpression("\033\\[[0-9;]*[mAK]"));
        EXPECT_EQ(shown.contains("\033[31merror\033[0m"), !*row.noColor) << shown.constData();
        EXPECT_EQ(shown.contains("\033[32m"), !*row.noColor);
        const QString live = plain.section("\nPORT ", 0, 0);
        for (const QString& line : live.split(QRegularExpression("[\r\n]")))
            EXPECT_LE(line.size(), row.columns - 1) << qPrintable(line);
        // The last drawing, before the table.
        const QStringList drawn = live.split('\n');
        const QStringList last = drawn.mid(drawn.size() - 2);
        ASSERT_EQ(last.size(), 2) << qPrintable(plain);
        const QRegularExpression done(
            QStringLiteral("^\rCOM1 .* \\[#{%1,}\\]  100%  success  ").arg(row.leastBar - 2));
        EXPECT_TRUE(last[0].contains(done)) << qPrintable(last[0]);
        const QRegularExpression failed(
            QStringLiteral("^\rCOM2 .* \\[#+\\.+\\] +[1-9][0-9]?%  error  "));
        EXPECT_TRUE(last[1].contains(failed)) << qPrintable(last[1]);
        EXPECT_GE(last[1].indexOf(']') - last[1].indexOf('['), row.leastBar - 1);
        EXPECT_TRUE(plain.endsWith("\n1 of 2 passed: pull COM2.\n")) << qPrintable(plain);
    }
}

// Ctrl+C while four paced updates send their images: each child ends interrupted and records
// it, the station passes on every line with its port and ends with 130.
TEST_F(Station, CtrlCEndsEveryUpdateInterruptedAndRecorded) {
    const QString images = file("images");
    writeFile(images + "/DVB-GEN-2.bin", requestImage(2));
    std::vector<std::unique_ptr<SimulatorProcess>> modules;
    QStringList arguments{"station", "--json", "--folder", images};
    for (int i = 0; i < 4; ++i) {
        modules.push_back(std::make_unique<SimulatorProcess>(
            QStringList{"--announce", "UP", "--baud", "115200"}));
        arguments << "--port" << modules.back()->path();
    }
    QProcess cli;
    startCli(cli, home.path(), arguments);
    ASSERT_TRUE(readUntil(cli, [this](const QList<QJsonObject>&) {
        QStringList sending = portsWith("progress");
        sending.removeDuplicates();
        return sending.size() == 4;
    }));
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    const QJsonObject station = stationLine(cli);
    const CliRun run = finish(cli, 30);
    EXPECT_EQ(run.exitCode, 130) << qPrintable(run.err);
    EXPECT_EQ(station.value("exit_code"), 130);
    const QJsonArray ports = station.value("ports").toArray();
    ASSERT_EQ(ports.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QJsonObject port = ports[i].toObject();
        EXPECT_EQ(port.value("port").toString(), modules[i]->path());
        const QJsonArray done = port.value("modules").toArray();
        ASSERT_EQ(done.size(), 1);
        EXPECT_EQ(done[0].toObject().value("word").toString(), "interrupted");
        EXPECT_EQ(done[0].toObject().value("module").toString(), "UP");
    }
    for (const QJsonObject& line : lines.mid(0, lines.size() - 1))
        EXPECT_TRUE(line.value("port").isString()) << qPrintable(line.value("event").toString());
    EXPECT_EQ(portsWith("outcome", "interrupted").size(), 4);
    // Every child recorded its own end.
    const QJsonArray recorded = history();
    ASSERT_EQ(recorded.size(), 4);
    QStringList devices;
    for (const QJsonValue& value : recorded) {
        const QJsonObject row = value.toObject();
        devices << row.value("device").toString();
        EXPECT_EQ(row.value("outcome").toString(), "interrupted") << qPrintable(run.err);
        EXPECT_EQ(row.value("module").toString(), "UP");
    }
    devices.sort();
    QStringList paths;
    for (const auto& module : modules)
        paths << module->path();
    paths.sort();
    EXPECT_EQ(devices, paths);
}

// --repeat: the first module is updated; while it stays attached the next update waits; its
// adapter is pulled and another module plugged in on the same port; that one is updated too.
// Ctrl+C then ends the wait for a third, which counts for nothing and leaves no row; the station
// ends interrupted.
TEST_F(Station, RepeatUpdatesModuleAfterModuleOnOnePort) {
    const QString images = file("images");
    writeFile(images + "/DVB-GEN-1.bin", requestImage(1));
    const QString adapter = file("adapter");
    auto first = std::make_unique<SimulatorProcess>(QStringList{"--announce", "UP"});
    ASSERT_EQ(::symlink(QFile::encodeName(first->path()).constData(),
                        QFile::encodeName(adapter).constData()),
              0);
    settings({{"COM1", adapter}});
    QProcess cli;
    startCli(cli, home.path(),
             {"station", "--json", "--repeat", "--port", "COM1", "--folder", images});
    ASSERT_TRUE(readUntil(cli, [this](const QList<QJsonObject>&) {
        return portsWith("outcome", "success").size() == 1 && portsWith("start").size() == 2;
    }));
    first.reset();  // the adapter pulled with its module
    SimulatorProcess second({"--announce", "UP"});
    const QString swapped = file("adapter.new");
    ASSERT_EQ(::symlink(QFile::encodeName(second.path()).constData(),
                        QFile::encodeName(swapped).constData()),
              0);
    ASSERT_EQ(
        ::rename(QFile::encodeName(swapped).constData(), QFile::encodeName(adapter).constData()),
        0);
    ASSERT_TRUE(readUntil(cli, [this](const QList<QJsonObject>&) {
        return portsWith("outcome", "success").size() == 2;
    }));
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    const QJsonObject station = stationLine(cli);
    const CliRun run = finish(cli, 30);
    EXPECT_EQ(run.exitCode, 130) << qPrintable(run.err);
    const QJsonArray modules =
        station.value("ports").toArray()[0].toObject().value("modules").toArray();
    ASSERT_EQ(modules.size(), 2) << QJsonDocument(station).toJson().constData();
    for (const QJsonValue& module : modules)
        EXPECT_EQ(module.toObject().value("word"), "success");
    // The swap (the waiting process losing its port with the module) and the wait that Ctrl+C
    // ended left no row: only the two updates.
    const QJsonArray recorded = history();
    EXPECT_EQ(recorded.size(), 2) << QJsonDocument(recorded).toJson().constData();
    for (const QJsonValue& row : recorded)
        EXPECT_EQ(row.toObject().value("outcome"), "success");
}

// Bad usage is refused at once, named, with status 2; --json adds a station line that says why.
TEST_F(Station, BadUsageIsRefusedAtOnce) {
    const auto refused = [](const QString& cause) {
        return "tarvel-update: " + cause + "\nTry 'tarvel-update station --help'.\n";
    };
    struct Row {
        QStringList arguments;
        QByteArray settings;  // the [Station] section
        QString cause;
    };
    const Row rows[] = {
        {{}, {}, "No port: give --port, or Ports= in section [Station] of the settings."},
        {{"--port", "COM0"}, {}, "--port COM0: a port is COM1 to COM9 or a device path."},
        {{"--port", "COM1", "--port", "com1"}, {}, "--port names COM1 twice."},
        {{"--port", " "}, {}, "--port is empty."},
        {{},
         "Ports=COM2, COMX",
         "Ports= in [Station] names COMX: a port is COM1 to COM9 or a "
         "device path."},
        {{"--port", "COM1", "--timeout", "0"},
         {},
         "--timeout 0: give seconds above 0, at most 86400."},
        {{"--port", "COM1", "--timeout", "9", "--timeout", "9"},
         {},
         "--timeout is given more than once."},
        {{"--port", "COM1", "--timeout", "9", "--repeat"},
         {},
         "--timeout does not go with --repeat: a port waits for its next module for as long "
         "as it takes."},
        {{"--port", "COM1", "--folder", "none"}, {}, "The image folder %1/none does not exist."},
        {{"--port", "COM1", "--frob"}, {}, "Unknown option 'frob'."},
        {{"--port", "COM1", "now"}, {}, "\"now\" is not an option of station."},
        // One device by two names: a link and its device, a path with /./ in it, a COM name and
        // the device it leads to.
        {{"--port", "%1/by-id", "--port", "/dev/null"},
         {},
         "--port names %1/by-id and /dev/null, one device."},
        {{"--port", "/dev/null", "--port", "/dev/./null"},
         {},
         "--port names /dev/null and /dev/./null, one device."},
        {{},
         "Ports=COM3 /dev/null\n[Ports]\nCOM3=/dev/null",
         "Ports= in [Station] names COM3 and /dev/null, one device."},
    };
    ASSERT_TRUE(QFile::link("/dev/null", file("by-id")));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        writeFile(file("config/Tarvel_Update_Utility.ini"), "[Station]\n" + row.settings + "\n");
        const QString cause = row.cause.contains("%1") ? row.cause.arg(home.path()) : row.cause;
        for (const bool json : {false, true}) {
            QProcess cli;
            QStringList arguments = row.arguments;
            arguments.replaceInStrings("%1", home.path());
            startCli(cli, home.path(),
                     QStringList{"station"} + arguments +
                         (json ? QStringList{"--json"} : QStringList{}));
            const CliRun run = finish(cli, 10);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.err.toStdString(), refused(cause).toStdString());
            EXPECT_LT(run.seconds, 5.0);
            const QJsonObject station = QJsonDocument::fromJson(run.out.toUtf8()).object();
            EXPECT_EQ(json ? station.value("reason").toString() : run.out, json ? cause : "");
        }
    }
    EXPECT_FALSE(QFile::exists(file("state")));
}

}  // namespace
}  // namespace tarvel::test
