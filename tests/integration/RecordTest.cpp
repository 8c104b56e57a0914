// The record when things go wrong on a production line: tarvel-update processes against
// tarvel-module-sim into one real history.sqlite, and after each fault what is left on disk.
#include "platform/qt/QtFileSystem.h"
#include "record/HistoryCsv.h"
#include "record/HistoryStore.h"
#include "tests/support/Programs.h"
#include "tests/support/Wire.h"
#include "update/ImageInspection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

namespace tarvel::test {
namespace {

struct Finished {
    int exitCode = -1;
    QString out, err;
    QString log() const { return out.section("Log: ", 1).trimmed(); }
};

// A state folder that does not exist yet, shared by every run; each run's COM1 is its own module.
struct Line {
    QTemporaryDir dir;
    QString state() const { return dir.filePath("state/new"); }
    QString record() const { return state() + "/Tarvel_Update_Utility"; }
    std::vector<std::unique_ptr<SimulatorProcess>> modules;

    ~Line() {
        quietly("umount", {record() + "/logs"});
        quietly("umount", {record()});
    }
    static int quietly(const QString& program, const QStringList& arguments) {
        QProcess process;  // its output read by nobody
        process.start(program, arguments);
        return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit
                   ? process.exitCode()
                   : -1;
    }
    // The image an update finds; without it a run ends quickly after the module announced itself.
    QString addImage() {
        QFile image(dir.filePath("images/DVB-GEN-1.bin"));
        image.open(QIODevice::WriteOnly);
        image.write(requestImage(1));
        return image.fileName();
    }
    // With no arguments (or only options) an update on COM1, with the line's images, against a
    // module of its own.
    std::unique_ptr<QProcess> start(QStringList arguments,
                                    const QStringList& module = {"--announce", "UP"},
                                    const std::function<void()>& inChild = {}) {
        const QString config = dir.filePath(QStringLiteral("config%1").arg(modules.size()));
        if (arguments.isEmpty() || arguments.first().startsWith("--")) {
            arguments =
                QStringList{"update", "--port", "COM1", "--folder", dir.filePath("images")} +
                arguments;
            modules.push_back(std::make_unique<SimulatorProcess>(module));
            QDir().mkpath(config);
            QFile settings(config + "/Tarvel_Update_Utility.ini");
            settings.open(QIODevice::WriteOnly);
            settings.write("[Ports]\nCOM1=" + modules.back()->path().toUtf8() + "\n");
        }
        auto run = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config);
        environment.insert("XDG_STATE_HOME", state());
        run->setProcessEnvironment(environment);
        if (inChild)
            run->setChildProcessModifier(inChild);
        run->start(QStringLiteral(TARVEL_UPDATE), arguments);
        return run;
    }
    static Finished finish(QProcess& process) {
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    Finished run(const QStringList& arguments = {}, const std::function<void()>& inChild = {}) {
        return finish(*start(arguments, {"--announce", "UP"}, inChild));
    }
    bool mountTmpfs(const QString& path, const char* size) {
        QDir().mkpath(path);
        return quietly("mount", {"-t", "tmpfs", "-o", size, "tmpfs", path}) == 0;
    }
    static void fill(const QString& path, qint64 bytes) {  // -1: until the disk is full
        QFile filler(path);
        filler.open(QIODevice::WriteOnly);
        for (qint64 left = bytes; left != 0 && filler.write(QByteArray(4096, 'f')) > 0;)
            left -= bytes < 0 ? 0 : 4096;
    }
};

QString lastLine(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).section('\n', -2);
}

struct Fault {
    const char* name;
    // Brings the fault about; false when it cannot be had here.
    std::function<bool(Line&)> cause;
    QStringList outcomes;  // of the history's rows afterwards, newest first
};

TEST(Record, AfterEachFaultTheHistoryReadsWholeAndTheNextRunRecords) {
    const Fault faults[] = {
        {"six runs at once into a missing folder, in one second, all on COM1",
         [](Line& line) {
             std::vector<std::unique_ptr<QProcess>> runs;
             for (int n = 0; n < 6; ++n)
                 runs.push_back(line.start({}));
             QStringList logs;
             for (size_t n = 0; n < runs.size(); ++n) {
                 const Finished run = Line::finish(*runs[n]);
                 EXPECT_EQ(run.exitCode, 2);
                 EXPECT_FALSE(run.err.contains("record")) << qPrintable(run.err);
                 QFile log(run.log());
                 EXPECT_TRUE(log.open(QIODevice::ReadOnly) &&
                             log.readAll().contains("Port: COM1 (" +
                                                    line.modules[n]->path().toUtf8() + ")\n"));
                 EXPECT_TRUE(lastLine(run.log()).startsWith("Outcome: no-image after "));
                 logs << run.log();
             }
             logs.removeDuplicates();
             EXPECT_EQ(logs.size(), 6);
             return true;
         },
         QStringList(6, "no-image")},
        {"the disk fills up partway through a log (a tmpfs, or a file size limit)",
         [](Line& line) {
             line.addImage();
             const bool tmpfs = line.mountTmpfs(line.record() + "/logs", "size=128k");
             if (tmpfs)
                 Line::fill(line.record() + "/logs/filler", 88 * 1024);  // 40 KiB are left
             const Finished run = line.run(
                 {}, tmpfs ? std::function<void()>() : [] {
                     std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails: EFBIG
                     const rlimit limit{128 * 1024, 128 * 1024};  // the log, not the history
                     setrlimit(RLIMIT_FSIZE, &limit);
                 });
             const QString reason = tmpfs ? "No space left on device" : "File too large";
             EXPECT_EQ(run.exitCode, 0);
             EXPECT_EQ(run.err.count("The update record cannot be written ("), 1);
             EXPECT_TRUE(run.err.contains(run.log() + ": " + reason)) << qPrintable(run.err);
             EXPECT_EQ(lastLine(run.log()), "Log cut short: " + reason + "\n");
             QFile::remove(line.record() + "/logs/filler");
             return true;
         },
         {"success"}},
        {"the disk is full from the start (a tmpfs)",
         [](Line& line) {
             if (!line.mountTmpfs(line.record(), "size=1m"))
                 return false;
             EXPECT_EQ(line.run().exitCode, 2);
             Line::fill(line.record() + "/filler", -1);
             const Finished run = line.run();
             EXPECT_EQ(run.exitCode, 2);
             EXPECT_EQ(run.err.count("The update record cannot be written ("), 1);
             EXPECT_TRUE(run.err.contains(": No space left on device); ")) << qPrintable(run.err);
             EXPECT_FALSE(run.out.contains("Log: "));
             QFile::remove(line.record() + "/filler");
             return true;
         },
         {"no-image"}},
        {"another program holds the history locked from before an update until after it",
         [](Line& line) {
             EXPECT_EQ(line.run().exitCode, 2);  // the history is there, and holds a row
             const double predicted =
                 inspectImage(QtFileSystem(), line.addImage(), kindForName("DVB-GEN-1.bin"))
                     .forecast->seconds;
             QSqlDatabase locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
             locker.setDatabaseName(line.record() + "/history.sqlite");
             EXPECT_TRUE(locker.open() && QSqlQuery(locker).exec("BEGIN EXCLUSIVE"));
             auto process = line.start(
                 {"--json"}, {"--announce", "UP", "--baud", "115200", "--reply-delay", "0"});
             QByteArray out;
             while (!out.contains("\"event\":\"outcome\"") && process->waitForReadyRead(30000))
                 out += process->readAllStandardOutput();
             const QJsonObject outcome =
                 QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
             // The line did not wait for the record: the outcome came while the history was
             // still locked, and in about the forecast time (a record written on the line's
             // thread waited at each write: 44 s instead of 25 s). How close to the line rate
             // the update came is the bench's to judge: load slows the simulator's pacing too.
             EXPECT_NE(process->state(), QProcess::NotRunning) << "waits to write its row";
             EXPECT_LT(outcome["duration_s"].toDouble(), 1.25 * predicted);
             QSqlQuery(locker).exec("COMMIT");
             locker.close();
             locker = QSqlDatabase();
             QSqlDatabase::removeDatabase("locker");
             const Finished run = Line::finish(*process);
             EXPECT_EQ(run.exitCode, 0);
             EXPECT_EQ(run.err, "");
             return true;
         },
         {"success", "no-image"}},
        {"a run killed while its module is silent, its row brought up to date all the same",
         [](Line& line) {
             auto process = line.start({}, {"--announce", "UP", "--silent-at", "0"});
             // The host waits ten seconds after "q" without a word on the line or the screen.
             QElapsedTimer since;
             since.start();
             process->waitForFinished(7000);
             ::kill(pid_t(process->processId()), SIGKILL);
             process->waitForFinished();
             const QJsonObject row =
                 QJsonDocument::fromJson(line.run({"history", "--json"}).out.toUtf8())
                     .array()
                     .first()
                     .toObject();
             EXPECT_EQ(row["outcome"], "unfinished");
             EXPECT_EQ(row["bytes_sent"], 13) << "twelve X and the q";
             EXPECT_GE(row["duration_s"].toDouble(), 4.5);
             EXPECT_LE(row["duration_s"].toDouble(), since.elapsed() / 1000.0);
             return true;
         },
         {"unfinished"}},
        {"a run killed mid-update",
         [](Line& line) {
             line.addImage();
             auto process = line.start({}, {"--announce", "UP", "--baud", "115200"});
             QByteArray out;
             while (!out.contains("Block 1") && process->waitForReadyRead(10000))
                 out += process->readAllStandardOutput();
             ::kill(pid_t(process->processId()), SIGKILL);
             process->waitForFinished();
             const QString log =
                 QDir(line.record() + "/logs").entryInfoList(QDir::Files).value(0).filePath();
             // Each write holds whole lines, but Linux ends a write to a file early when a
             // kill arrives while it crosses a page: then the log ends at that page's end,
             // with every line before it whole.
             const qint64 size = QFileInfo(log).size();
             const QString wholeLine = "^ +[0-9]+\\.[0-9]{3} (TX|RX|ST|AC)  .+\n";
             const QString last = lastLine(log);
             EXPECT_TRUE(last.contains(QRegularExpression(wholeLine + "$")) ||
                         (size % 4096 == 0 && last.contains(QRegularExpression(wholeLine))))
                 << size << " bytes, ending\n"
                 << qPrintable(last);
             return true;
         },
         {"unfinished"}},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        Line line;
        QDir().mkpath(line.dir.filePath("images"));
        if (!fault.cause(line)) {
            std::printf("[ SKIPPED  ] %s: cannot be had here (mounting a tmpfs needs root)\n",
                        fault.name);
            continue;
        }
        QFile::remove(line.dir.filePath("images/DVB-GEN-1.bin"));  // the next run ends quickly
        const Finished next = line.run();
        EXPECT_EQ(next.exitCode, 2);
        EXPECT_TRUE(QFile::exists(next.log())) << qPrintable(next.out + next.err);
        const Finished history = line.run({"history", "--csv"});
        const std::vector<QStringList> rows = csvRecords(history.out);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.front().join(',') + "\r\n", historyCsvHeader());
        QStringList outcomes;
        for (auto row = rows.begin() + 1; row != rows.end(); ++row) {
            EXPECT_EQ(row->size(), 17) << qPrintable(row->join(','));
            outcomes << row->value(10);
            EXPECT_TRUE(QFile::exists(row->value(11))) << qPrintable(row->value(11));
        }
        EXPECT_EQ(outcomes, QStringList{"no-image"} + fault.outcomes);
    }
}

// Changes a history as another program would: statements through SQLite of its own.
void edit(const QString& file, const QStringList& statements) {
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "edit");
        database.setDatabaseName(file);
        ASSERT_TRUE(database.open());
        for (const QString& statement : statements)
            EXPECT_TRUE(QSqlQuery(database).exec(statement)) << qPrintable(statement);
    }
    QSqlDatabase::removeDatabase("edit");
}

// A history this program did not write, or may not write: listed without a change, or refused
// with the reason; an update goes on with one warning; the file stays byte for byte as it was.
TEST(Record, AHistoryItMayNotChangeIsListedOrRefusedAndLeftAsItWas) {
    const QString newer =
        "history.sqlite was written by a newer version (schema 99; this "
        "program knows 6)";
    const struct {
        const char* what;
        std::function<void(const QString& file)> make;  // from a history of one run
        bool asAnotherUser;                             // who may read the folder but not write it
        QString reason;  // why it cannot be read; empty: its rows are listed
    } rows[] = {
        {"a newer version's", [](const QString& file) { edit(file, {"PRAGMA user_version = 99"}); },
         false, newer},
        {"in another journal mode",
         [](const QString& file) { edit(file, {"PRAGMA journal_mode = DELETE"}); },
         false,
         {}},
        {"another user's, in a folder only that user may write", [](const QString&) {}, true, {}},
    };
    // Root may write anything: the other user is then nobody, who may read the folder.
    const bool root = ::geteuid() == 0;
    const std::function<void()> otherUser = [root] {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Line line;
        QDir().mkpath(line.dir.filePath("images"));
        ASSERT_EQ(line.run().exitCode, 2);  // no image: a history of one row
        const QString file = line.record() + "/history.sqlite";
        row.make(file);
        const auto allowFolders = [&line](QFile::Permissions others) {
            for (QString folder = line.record(); folder.startsWith(line.dir.path());
                 folder = QFileInfo(folder).path())
                QFile::setPermissions(folder,
                                      QFile::ReadOwner | QFile::ExeOwner | others |
                                          (others ? QFile::Permissions() : QFile::WriteOwner));
        };
        if (row.asAnotherUser) {
            allowFolders(QFile::ReadOther | QFile::ExeOther);
            QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadOther);
        }
        const QByteArray before = readFile(file);
        const Finished history =
            line.run({"history", "--csv"}, row.asAnotherUser ? otherUser : std::function<void()>());
        if (row.reason.isEmpty()) {
            EXPECT_EQ(history.exitCode, 0) << qPrintable(history.err);
            const std::vector<QStringList> listed = csvRecords(history.out);
            EXPECT_EQ(listed.size(), 2u);
            EXPECT_EQ(listed.back().value(10), "no-image");
        } else {
            EXPECT_EQ(history.exitCode, 1);
            EXPECT_EQ(history.err, "The history " + file + " cannot be read: " + row.reason + "\n");
        }
        EXPECT_TRUE(readFile(file) == before);  // the journal mode too
        if (!row.asAnotherUser) {
            const Finished update = line.run();
            EXPECT_EQ(update.exitCode, 2);  // no image, as before: the module was asked
            EXPECT_EQ(update.err.count("The update record cannot be written"),
                      row.reason.isEmpty() ? 0 : 1);
            if (!row.reason.isEmpty()) {
                EXPECT_TRUE(update.err.contains("written (" + file + ": " + row.reason + "); "))
                    << qPrintable(update.err);
                EXPECT_TRUE(readFile(file) == before);
            }
        }
        allowFolders({});
    }
}

// A history whose header was overwritten: history refuses to read it, and the next update keeps
// it aside, byte for byte, under a name that says so, and records its row in a new history.
TEST(Record, AHistoryThatIsNoDatabaseIsKeptAsideAndTheRunStillRecorded) {
    Line line;
    QDir().mkpath(line.dir.filePath("images"));
    ASSERT_EQ(line.run().exitCode, 2);  // no image: a history of one row
    const QString file = line.record() + "/history.sqlite";
    QByteArray damaged = readFile(file);
    damaged.replace(0, 100, QByteArray(100, '\x5a'));
    ASSERT_TRUE(writeFile(file, damaged));
    const Finished listed = line.run({"history"});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.err, "The history " + file + " cannot be read: file is not a database\n");
    EXPECT_TRUE(readFile(file) == damaged);

    const Finished update = line.run();
    EXPECT_EQ(update.exitCode, 2);
    const QStringList aside = QDir(line.record()).entryList({"history.sqlite.damaged-*"});
    ASSERT_EQ(aside.size(), 1) << qPrintable(update.err);
    EXPECT_TRUE(readFile(line.record() + "/" + aside[0]) == damaged);
    EXPECT_EQ(update.err.count(file + " was no database (file is not a database); it is kept as " +
                               line.record() + "/" + aside[0] +
                               " for whoever looks into it, and a new history is started."),
              1)
        << qPrintable(update.err);
    EXPECT_FALSE(update.err.contains("cannot be written")) << qPrintable(update.err);
    const Finished after = line.run({"history", "--csv", "--no-header"});
    EXPECT_EQ(after.exitCode, 0) << qPrintable(after.err);
    EXPECT_EQ(csvRecords(after.out).size(), 2u);  // the header and this run's row
}

TEST(Record, HistoryRefusesBadArgumentsWithOneLine) {
    Line line;
    const std::pair<QStringList, QString> rows[] = {
        {{"--last", "0"},
         "tarvel-update history: --last takes a whole number above 0, not \"0\".\n"},
        {{"--since", "soon"},
         "tarvel-update history: --since takes today, yesterday, a time ago such as 2h or 7d, "
         "or a date such as 2026-12-06, not \"soon\".\n"},
        {{"--until", "2w"},
         "tarvel-update history: --until takes today, yesterday, a time ago such as 2h or 7d, "
         "or a date such as 2026-12-06, not \"2w\".\n"},
        {{"--outcome", "failure"},
         "tarvel-update history: --outcome takes failed (every failure) or one of success, "
         "error, no-image, refused, cancelled, timeout, interrupted, running, unfinished, not "
         "\"failure\".\n"},
        {{"--kind", "test"},
         "tarvel-update history: --kind takes update or comtest, not \"test\".\n"},
        {{"--port", "COM10"},
         "tarvel-update history: --port COM10: a port is COM1 to COM9 or a device path.\n"},
        {{"--csv", "--json"}, "tarvel-update history: --csv and --json exclude each other.\n"},
        {{"--csv", "--kind", "comtest"},
         "tarvel-update history: --csv holds updates only, not --kind comtest.\n"},
        {{"--color"}, "tarvel-update history: Unknown option 'color'.\n"},
    };
    for (const auto& [arguments, message] : rows) {
        const Finished run = Line::finish(*line.start(QStringList{"history"} + arguments));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, message);
    }
    const Finished empty = line.run({"history", "--json"});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out, "[]\n");
}

// Four exchanges, each its module's letter: A a minute ago (COM1 on /dev/ttyUSB0), B yesterday
// noon (a test), C five days ago (named by its device), D in 2020; every filter picks its rows.
TEST(Record, HistoryFiltersAndFitsTheTerminal) {
    Line line;
    {
        HistoryStore history(line.record());
        ASSERT_TRUE(history.open());
        const QDateTime now = QDateTime::currentDateTime();
        const QDate today = now.date();
        const QString image = "/srv/firmware/DVB-SAT-2.00.0008-with-a-long-name.bin";
        struct Made {
            QDateTime started;
            const char *kind, *port, *device, *module, *outcome;
        };
        for (const Made& made :
             {Made{std::max(now.addSecs(-60), today.startOfDay().addSecs(1)), "update", "COM1",
                   "/dev/ttyUSB0", "A", "success"},
              Made{QDateTime(today.addDays(-1), QTime(12, 0)), "comtest", "COM2", "/dev/ttyS1", "B",
                   "error"},
              Made{QDateTime(today.addDays(-5), QTime(12, 0)), "update", "/dev/ttyUSB0",
                   "/dev/ttyUSB0", "C", "unfinished"},
              Made{QDateTime::fromString("2020-01-02T10:00:00+00:00", Qt::ISODate), "update",
                   "COM2", "/dev/ttyS1", "D", "error"}}) {
            const QDateTime started = made.started.toOffsetFromUtc(made.started.offsetFromUtc());
            HistoryRow row;
            row.kind = made.kind;
            row.started = started.toString(Qt::ISODate);
            row.port = made.port;
            row.device = made.device;
            row.module = made.module;
            row.image = row.kind == kUpdateKind ? image : QString();
            row.outcome = made.outcome;
            row.log = line.record() + "/logs/" + made.module + "-" + QString(40, 'x') + ".log";
            row.id = history.add(row, ProcessIdentity::current()).value_or(0);
            ASSERT_TRUE(row.id > 0 && history.update(row));
        }
    }
    const std::pair<QStringList, QString> filters[] = {
        {{}, "ABCD"},
        {{"--since", "today"}, "A"},
        {{"--since", "yesterday", "--until", "today"}, "B"},
        {{"--since", "2d"}, "AB"},
        {{"--since", "7d", "--kind", "update"}, "AC"},
        {{"--until", "2020-01-03"}, "D"},
        {{"--since", "2020-01-02T09:00:00+00:00", "--until", "2020-01-02T11:00:00+00:00"}, "D"},
        {{"--port", "com1"}, "A"},
        {{"--port", "/dev/ttyUSB0"}, "AC"},
        {{"--outcome", "unfinished"}, "C"},
        {{"--outcome", "failed"}, "BCD"},
        {{"--kind", "comtest", "--outcome", "success"}, ""},
    };
    for (const auto& [arguments, modules] : filters) {
        const Finished json = line.run(QStringList{"history", "--json"} + arguments);
        QString found;
        for (const QJsonValue row : QJsonDocument::fromJson(json.out.toUtf8()).array())
            found += row["module"].toString();
        EXPECT_EQ(found, modules) << qPrintable(arguments.join(' '));
        const Finished table = line.run(QStringList{"history"} + arguments);
        EXPECT_TRUE(modules.isEmpty() ? table.out == "No row matches.\n"
                                      : table.out.count('\n') == modules.size() + 1);
    }
    // What is not known is null; every object says its schema.
    const QJsonObject old =
        QJsonDocument::fromJson(line.run({"history", "--json", "--last", "4"}).out.toUtf8())
            .array()
            .at(3)
            .toObject();
    EXPECT_EQ(old["schema"], 1);
    EXPECT_EQ(old["finished"], QJsonValue::Null);
    EXPECT_EQ(old["image_size"], QJsonValue::Null);
    EXPECT_EQ(old["image_sha256"], QJsonValue::Null);
    EXPECT_EQ(old["bytes_sent"], 0);
    EXPECT_EQ(old["started"], "2020-01-02T10:00:00Z");

    // A station the history does not know is no station without rows.
    const Finished nosuch = line.run({"history", "--station", "nosuch"});
    EXPECT_EQ(nosuch.exitCode, 1);
    EXPECT_EQ(nosuch.out, "");
    EXPECT_EQ(nosuch.err, "The history holds no row of station nosuch.\n");

    // The module and the reason where the kind and the log were; the image's name cut at its
    // start, where its end holds what tells it apart.
    for (const char* columns : {"80", "70"}) {
        qputenv("COLUMNS", columns);
        const QStringList shown = line.run({"history"}).out.split('\n', Qt::SkipEmptyParts);
        qunsetenv("COLUMNS");
        ASSERT_EQ(shown.size(), 5);
        EXPECT_TRUE(shown[0].startsWith("STARTED         PORT") && shown[0].endsWith("REASON"))
            << qPrintable(shown[0]);
        EXPECT_TRUE(shown[4].startsWith("2020-01-02      COM2")) << qPrintable(shown[4]);
        for (const QString& row : shown)
            EXPECT_LE(row.size(), QString(columns).toInt()) << qPrintable(row);
    }
    qputenv("COLUMNS", "60");
    const QString cut = line.run({"history", "--last", "1", "--no-header"}).out;
    EXPECT_TRUE(cut.contains(
        QRegularExpression(QString::fromUtf8("  \u2026[a-z-]+-long-name\\.bin  success"))))
        << qPrintable(cut);
    // Every column in full is a block per row where a table of them does not fit.
    qputenv("COLUMNS", "80");
    const QString blocks = line.run({"history", "--wide", "--last", "2"}).out;
    qunsetenv("COLUMNS");
    EXPECT_TRUE(
        blocks.contains("\nImage:       /srv/firmware/DVB-SAT-2.00.0008-with-a-long-"
                        "name.bin\nOutcome:     success\n"))
        << qPrintable(blocks);
    EXPECT_EQ(blocks.count("\n\nStarted:     "), 1);
    for (const QString& row : blocks.split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(row.contains(QRegularExpression("^[A-Z][A-Za-z0-9 -]+: "))) << qPrintable(row);
    const QString wide = line.run({"history", "--wide", "--no-header", "--last", "1"}).out;
    EXPECT_TRUE(wide.startsWith(QDateTime::currentDateTime().toString("yyyy-")) &&
                wide.contains("  /dev/ttyUSB0  A  /srv/firmware/DVB-SAT-2.00.0008-with-a-long-"
                              "name.bin  success"))
        << qPrintable(wide);
}

}  // namespace
}  // namespace tarvel::test
