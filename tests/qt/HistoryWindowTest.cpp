// Log → History… against a real history.sqlite: the columns a technician sees, sorting, each
// filter, the chosen columns remembered, copy and export, and the rows that another program adds
// while the window is open. Then against a line's history on a real PostgreSQL server: every
// station's rows, the Station filter, this station only, and a server that cannot be reached.
#include "app/HistoryWindow.h"
#include "app/LogViewer.h"
#include "central/CentralHistory.h"
#include "record/HistoryStore.h"
#include "tests/support/Fakes.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/SilentServer.h"
#include "tests/support/Wire.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Exchange {
    QDateTime started;
    const char *kind, *port, *module, *outcome;
    double seconds;
    const char* station = "station-a";
};

HistoryRow rowOf(const Exchange& made) {
    HistoryRow row;
    row.kind = made.kind;
    row.started = made.started.toOffsetFromUtc(made.started.offsetFromUtc()).toString(Qt::ISODate);
    row.port = made.port;
    row.module = made.module;
    row.image = row.kind == kUpdateKind ? "/srv/firmware/DVB-" + row.module + "-2.bin" : "";
    row.outcome = made.outcome;
    row.seconds = made.seconds;
    row.station = made.station;
    row.log = QStringLiteral("/var/log/%1.log").arg(row.module);
    if (row.outcome == "error") {
        row.reasonCode = "no-answer";
        row.reason = "No \"UP\" from the module within 4 s: is it in its test mode?";
    }
    return row;
}

// Adds the row as a program of its own would, through a connection of its own.
qint64 record(const QString& folder, const Exchange& made) {
    HistoryStore history(folder);
    if (!history.open())
        return 0;
    HistoryRow row = rowOf(made);
    row.id = history.add(row, ProcessIdentity::current()).value_or(0);
    return history.update(row) ? row.id : 0;
}

struct HistoryWindowTest : ::testing::Test {
    QString column(int row, const char* name) const {
        return window->shown().index(row, HistoryModel::columnOf(name)).data().toString();
    }
    QString modules() const {
        QString letters;
        for (int row = 0; row < window->shown().rowCount(); ++row)
            letters += column(row, "module").front();
        return letters;
    }
    bool waitForRows(int count) {
        return QTest::qWaitFor([this, count] { return window->rows().rowCount() == count; }, 30000);
    }
    void choose(const char* filter, int item) {
        window->findChild<QComboBox*>(filter)->setCurrentIndex(item);
    }

    QTemporaryDir state;
    MemorySettingsStore settings;
    std::unique_ptr<HistoryWindow> window;
};

// A (SAT) a minute ago, B (a test) yesterday noon, C (TER) five days ago, D (GEN) in 2020.
TEST_F(HistoryWindowTest, ShowsSortsFiltersAndFollowsTheHistory) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate today = now.date();
    const Exchange made[] = {
        {std::max(now.addSecs(-60), today.startOfDay().addSecs(1)), "update", "COM1", "SAT",
         "success", 9.46},
        {QDateTime(today.addDays(-1), QTime(12, 0)), "comtest", "COM2", "B", "error", 1.1},
        {QDateTime(today.addDays(-5), QTime(12, 0)), "update", "COM1", "TER", "unfinished", 10.2},
        {QDateTime(QDate(2020, 1, 2), QTime(10, 0)), "update", "COM2", "GEN", "timeout", 100}};
    for (const Exchange& exchange : made)
        ASSERT_GT(record(state.path(), exchange), 0);
    window = std::make_unique<HistoryWindow>(state.path(), settings, nullptr);
    window->show();
    ASSERT_TRUE(waitForRows(4));
    const QSize room = window->screen()->availableSize();
    EXPECT_TRUE(window->width() <= room.width() && window->height() <= room.height());

    QStringList headers;
    for (int at = 0; at < window->shown().columnCount(); ++at) {
        if (!window->table()->isColumnHidden(at))
            headers << window->shown().headerData(at, Qt::Horizontal).toString();
    }
    EXPECT_EQ(headers, QStringList({"Started", "Station", "Port", "Module", "Image", "Outcome",
                                    "Seconds", "Reason"}));
    EXPECT_EQ(modules(), "SBTG");  // newest first
    EXPECT_EQ(column(0, "started"), made[0].started.toString("MM-dd hh:mm:ss"));
    EXPECT_EQ(column(3, "started"), "2020-01-02");
    EXPECT_EQ(column(0, "image"), "DVB-SAT-2.bin");
    const QModelIndex image = window->shown().index(0, HistoryModel::columnOf("image"));
    EXPECT_EQ(image.data(Qt::ToolTipRole).toString(), "/srv/firmware/DVB-SAT-2.bin");
    const QModelIndex seconds = window->shown().index(0, HistoryModel::columnOf("duration_s"));
    EXPECT_EQ(seconds.data().toString(), "9.5");
    EXPECT_EQ(seconds.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
    const int outcome = HistoryModel::columnOf("outcome");
    QStringList colours;
    for (int row = 0; row < 4; ++row)
        colours
            << window->shown().index(row, outcome).data(Qt::ForegroundRole).value<QColor>().name();
    EXPECT_EQ(colours, QStringList({"#008000", "#c00000", "#b06a00", "#c00000"}));

    // The reason whole, and in the technician's words, where the cell cuts it.
    EXPECT_EQ(window->shown().index(1, HistoryModel::columnOf("reason")).data(Qt::ToolTipRole),
              "No \"UP\" from the module within 4 s: is it in its test mode?\n\nThe module did "
              "not answer. Check the cable, the module's power and the chosen port.\nDas Modul "
              "hat nicht geantwortet. Kabel, Stromversorgung des Moduls und gewählte Schnittstelle "
              "prüfen.");

    // Seconds sort as numbers, outcomes as words.
    window->table()->sortByColumn(HistoryModel::columnOf("duration_s"), Qt::AscendingOrder);
    EXPECT_EQ(modules(), "BSTG");
    window->table()->sortByColumn(outcome, Qt::AscendingOrder);
    EXPECT_EQ(modules(), "BSGT");
    window->table()->sortByColumn(HistoryModel::columnOf("started"), Qt::DescendingOrder);

    struct Filter {
        const char* name;
        int item;
        QString shown;
    };
    const Filter filters[] = {
        {"port", 1, "ST"},      // COM1
        {"outcome", 1, "BTG"},  // every failure
        {"outcome", 3, "B"},    // error
        {"kind", 2, "B"},       // comtest
        {"when", 1, "S"},       // today
        {"when", 2, "SBT"},     // the last 7 days
    };
    for (const Filter& filter : filters) {
        choose(filter.name, filter.item);
        EXPECT_EQ(modules(), filter.shown) << filter.name;
        choose(filter.name, 0);
    }
    choose("when", 3);  // from ... to ...
    window->findChildren<QDateEdit*>().at(0)->setDate(QDate(2020, 1, 1));
    window->findChildren<QDateEdit*>().at(1)->setDate(QDate(2020, 1, 2));
    EXPECT_EQ(modules(), "G");
    choose("when", 0);

    // Another program's row appears by itself; the selection stays on its exchange.
    window->table()->selectRow(0);
    ASSERT_GT(record(state.path(), {now, "update", "COM3", "X", "running", 0}), 0);
    ASSERT_TRUE(waitForRows(5));
    EXPECT_EQ(modules(), "XSBTG");
    const QModelIndexList selected = window->table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(column(selected[0].row(), "module"), "SAT");

    // Copy: the visible columns in full; Export: every column of the rows shown.
    window->copySelection();
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(
        made[0].started.toString(Qt::ISODate).left(19)));
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith(
        "\tstation-a\tCOM1\tSAT\t/srv/firmware/DVB-SAT-2.bin\tsuccess\t9.5\t\n"));
    choose("kind", 2);
    const QStringList exported = window->exportText().split("\r\n");
    EXPECT_EQ(exported.value(0),
              "started,kind,station,port,device,module,image,outcome,duration_s,"
              "bytes_sent,image_size,image_sha256,finished,log,reason_code,reason,exchange_id,"
              "signing_key,trusted_comment,older_release,release_used");
    EXPECT_EQ(exported.size(), 3);  // the header, the test, and the empty rest

    // The columns chosen are kept for the next window.
    window->findChild<QToolButton*>("columns")
        ->menu()
        ->actions()
        .at(HistoryModel::columnOf("kind"))
        ->trigger();
    EXPECT_EQ(settings.values.value("History/Columns"),
              "started,kind,station,port,module,image,outcome,duration_s,reason");
    HistoryWindow again(state.path(), settings, nullptr);
    EXPECT_FALSE(again.table()->isColumnHidden(HistoryModel::columnOf("kind")));
}

// Against a line's history: not among HistoryWindowTest.*, which runs again at other scales.
// The Summary counts what the filters select, per module, by the database: the same figures as
// `tarvel-update report`.
TEST_F(HistoryWindowTest, TheSummaryGivesTheYieldOfWhatTheFiltersSelect) {
    const QDateTime noon(QDate::currentDate().addDays(-1), QTime(12, 0));
    const Exchange made[] = {{noon, "update", "COM1", "SAT", "success", 10},
                             {noon.addSecs(60), "update", "COM1", "SAT", "error", 4},
                             {noon.addSecs(120), "update", "COM2", "TER", "success", 20},
                             {noon.addSecs(180), "comtest", "COM2", "B", "success", 1}};
    for (const Exchange& exchange : made)
        ASSERT_GT(record(state.path(), exchange), 0);
    window = std::make_unique<HistoryWindow>(state.path(), settings, nullptr);
    window->show();
    ASSERT_TRUE(waitForRows(4));
    window->findChild<QPushButton*>("summary")->click();
    window->findChild<QComboBox*>("by")->setCurrentIndex(1);  // module
    const auto* figures = window->findChild<QTableWidget*>("figures");
    const auto rows = [figures] {
        QStringList all;
        for (int row = 0; row < figures->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < figures->columnCount(); ++column)
                cells << (figures->item(row, column) ? figures->item(row, column)->text() : "");
            all << cells.join(' ');
        }
        return all;
    };
    const QStringList expected{"SAT 2 1 50.0 10.0 10.0 0 no-answer 1", "TER 1 1 100.0 20.0 20.0 0 ",
                               "all 3 2 66.7 10.0 20.0 0 no-answer 1"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows() == expected; }, 30000))
        << qPrintable(rows().join('|'));
    EXPECT_FALSE(window->table()->isVisible());

    choose("port", 1);  // COM1: only SAT's
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows().size() == 2; }, 30000))
        << qPrintable(rows().join('|'));
    EXPECT_EQ(rows().value(1), "all 2 1 50.0 10.0 10.0 0 no-answer 1");
}

struct HistoryWindowLineTest : HistoryWindowTest {
    // This station (station-a) has one row of its own, L, which is on no server.
    void SetUp() override {
        ASSERT_GT(
            record(state.path(), {QDateTime::currentDateTime(), "update", "COM3", "L", "error", 3}),
            0);
    }
    void open(const QString& database) {
        window = std::make_unique<HistoryWindow>(
            state.path(), HistoryDestination{"station-a", database}, settings, nullptr);
        window->show();
    }
    QStringList choices(const char* filter) const {
        QStringList items;
        const QComboBox* box = window->findChild<QComboBox*>(filter);
        for (int item = 0; item < box->count(); ++item)
            items << box->itemText(item);
        return items;
    }
    bool waitFor(const QString& shown) {
        return QTest::qWaitFor([&] { return modules() == shown; }, 30000);
    }
    QCheckBox* thisStationOnly() const { return window->findChild<QCheckBox*>("local"); }
};

// A (station-a, COM1) an hour ago, B (station-b, COM1) two hours ago, C (station-b, COM2) three.
// A row's log opens at its outcome, with a summary on top and the reason in the technician's
// words; the bytes on the line are folded away until asked for, times are in seconds, lines wrap,
// and a search finds text.
TEST_F(HistoryWindowTest, ALogOpensAtItsOutcomeWithTheBytesFoldedAway) {
    const QString path = state.filePath("2026-03-02T10-00-00_COM1.log");
    writeFile(path,
              "Tarvel Update Utility V2.0.8, update\n"
              "Started: 2026-03-02T10:00:00+01:00\n"
              "Port: COM1 (/dev/ttyUSB0)\n"
              "     0.000 ST  Checking | Checking module type for update, please wait\n"
              " 12500.000 TX  58 58 58 58 58 58 58 58 58 58 58 58              |XXXXXXXXXXXX|\n"
              " 14001.000 RX  52 21                                            |R!|\n"
              " 14002.000 TX  71                                               |q|\n"
              " 11726.053 MB  Update Error | Update error / Update Fehler\n"
              "Outcome: error after 11.7 s, 13 bytes sent; reason recovery-exhausted: No "
              "\"K!\" to the data of sector 19, block 1 within 2 s.\n");
    QWidget parent;
    ASSERT_EQ(showLog(path, &parent), "");
    auto* viewer = parent.findChild<LogViewer*>();
    ASSERT_TRUE(viewer);
    EXPECT_EQ(
        viewer->summary(),
        "Tarvel Update Utility V2.0.8, update\nStarted: 2026-03-02T10:00:00+01:00\n"
        "Port: COM1 (/dev/ttyUSB0)\nOutcome: error after 11.7 s, 13 bytes sent; reason "
        "recovery-exhausted: No \"K!\" to the data of sector 19, block 1 within 2 s.\n"
        "The module stopped answering and could not be brought back. Check the cable and "
        "the module's power, then update again; if it fails again, pull the module.\n"
        "Das Modul antwortete nicht mehr und ließ sich nicht zurückholen. Kabel und "
        "Stromversorgung prüfen, dann erneut updaten; scheitert es wieder, das Modul ziehen.");
    QPlainTextEdit* text = viewer->text();
    EXPECT_EQ(text->toPlainText().section('\n', 3, 5),
              "     0.000 s ST  Checking | Checking module type for update, please wait\n"
              "    12.500 s ..  3 lines of bytes (TX 2, RX 1): tick \"Show the bytes\" to see "
              "them\n"
              "    11.726 s MB  Update Error | Update error / Update Fehler");
    EXPECT_TRUE(text->textCursor().block().text().startsWith("Outcome: error after 11.7 s"));
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    viewer->search()->setText("fehler");
    QTest::keyClick(viewer->search(), Qt::Key_Return);
    EXPECT_EQ(text->textCursor().selectedText(), "Fehler");
    viewer->bytes()->setChecked(true);
    EXPECT_EQ(text->toPlainText().section('\n', 5, 5),
              "    14.001 s RX  52 21                                            |R!|");
    viewer->wrap()->setChecked(false);
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(HistoryWindowLineTest, ShowsEveryStationsRowsAndThisStationsOwnAndTellsWhenTheServerIsGone) {
    PostgresServer server;
    ASSERT_TRUE(server.start()) << qPrintable(server.why());
    const QString uri = server.socketUri("postgres");
    {
        CentralHistory owner(uri);
        ASSERT_TRUE(owner.open() && owner.upgrade()) << qPrintable(owner.reason());
        const QDateTime now = QDateTime::currentDateTime();
        std::vector<OutboxRow> sent;
        for (const Exchange& made :
             {Exchange{now.addSecs(-3600), "update", "COM1", "A", "success", 9, "station-a"},
              Exchange{now.addSecs(-7200), "update", "COM1", "B", "success", 9, "station-b"},
              Exchange{now.addSecs(-10800), "update", "COM2", "C", "error", 9, "station-b"}}) {
            OutboxRow row{rowOf(made), made.started.toMSecsSinceEpoch(), 1, {}};
            row.row.exchangeId = QStringLiteral("00000000-0000-0000-0000-00000000000%1")
                                     .arg(QLatin1Char(made.module[0]));
            sent.push_back(row);
        }
        std::vector<QString> held;
        ASSERT_TRUE(owner.forward(sent, &held)) << qPrintable(owner.reason());
        EXPECT_EQ(held, std::vector<QString>(3));
    }
    open(uri);
    ASSERT_TRUE(waitFor("ABC"));
    EXPECT_TRUE(window->showsLine());
    EXPECT_EQ(window->notice(), "");
    EXPECT_FALSE(window->findChild<QWidget*>("notice")->isVisible());
    EXPECT_TRUE(thisStationOnly()->isVisible());
    EXPECT_EQ(column(0, "station"), "station-a");
    EXPECT_EQ(column(1, "station"), "station-b");
    EXPECT_EQ(choices("station"), QStringList({"All", "station-a", "station-b"}));

    // The Station filter, alone and with the Port filter.
    choose("station", 2);
    EXPECT_EQ(modules(), "BC");
    choose("port", 1);  // COM1
    EXPECT_EQ(modules(), "B");
    choose("port", 0);
    choose("station", 0);

    // Another station's log is on that station: not opened here.
    QStringList opened;
    window->onOpenLog = [&](const QString& path) { opened << path; };
    for (int row : {0, 1})
        emit window->table()->doubleClicked(window->shown().index(row, 0));
    EXPECT_EQ(opened, QStringList({"/var/log/A.log"}));

    // This station only: its own file, without a notice; then the line again.
    thisStationOnly()->setChecked(true);
    ASSERT_TRUE(waitFor("L"));
    EXPECT_FALSE(window->showsLine());
    EXPECT_EQ(window->notice(), "");
    thisStationOnly()->setChecked(false);
    ASSERT_TRUE(waitFor("ABC"));

    // The server goes away: one line says so, and this station's own rows are shown.
    ASSERT_TRUE(server.stop()) << qPrintable(server.why());
    window->refresh();
    ASSERT_TRUE(waitFor("L"));
    EXPECT_FALSE(window->showsLine());
    EXPECT_TRUE(window->notice().startsWith(
        "This station's own history is shown: the line's history " + uri + " cannot be read ("))
        << qPrintable(window->notice());
    EXPECT_FALSE(window->notice().contains('\n')) << qPrintable(window->notice());
    EXPECT_TRUE(window->findChild<QWidget*>("notice")->isVisible());
}

TEST_F(HistoryWindowLineTest, AServerThatCannotBeReachedIsOneLineAndTheStationsOwnRowsShow) {
    // Nothing listens on port 1 of this machine: the connection is refused at once.
    open("postgresql://station_a@127.0.0.1:1/line");
    ASSERT_TRUE(waitFor("L"));
    EXPECT_FALSE(window->showsLine());
    EXPECT_EQ(window->notice(),
              "This station's own history is shown: the line's history "
              "postgresql://station_a@127.0.0.1:1/line cannot be read (connection to server at "
              "\"127.0.0.1\", port 1 failed: Connection refused Is the server running on that "
              "host and accepting TCP/IP connections?).");
    EXPECT_TRUE(window->findChild<QWidget*>("notice")->isVisible());
    EXPECT_EQ(column(0, "station"), "station-a");
    // The next looks bring no box and no second line; the window goes on following its file.
    ASSERT_GT(record(state.path(), {QDateTime::currentDateTime().addSecs(60), "update", "COM4", "M",
                                    "success", 3}),
              0);
    ASSERT_TRUE(waitFor("ML"));
    EXPECT_EQ(window->notice().count("cannot be read"), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// A server that accepts and never answers: the same one line once libpq's connect_timeout (2 s
// here, the least it takes) has run out, and the window never waits for it.
TEST_F(HistoryWindowLineTest, AServerThatNeverAnswersIsOneLineOnceItsTimeOutHasRunOut) {
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    open(silent.uri("connect_timeout=2"));
    ASSERT_TRUE(waitFor("L"));
    EXPECT_EQ(window->notice(),
              "This station's own history is shown: the line's history " +
                  silent.uri("connect_timeout=2") +
                  " cannot be read (connection to server at \"127.0.0.1\", port " +
                  QString::number(silent.port()) + " failed: timeout expired).");
    // Closed while the reader may be in its next try: the window does not wait for it.
    QElapsedTimer closing;
    closing.start();
    window->refresh();
    window.reset();
    EXPECT_LT(closing.elapsed(), 1000);
    // The reader left behind ends by itself once libpq gives up.
    EXPECT_TRUE(BackgroundWorker::waitForLeftBehind(30000));
}

}  // namespace
}  // namespace tarvel::test
