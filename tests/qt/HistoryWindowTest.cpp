// Log → History… against a real history.sqlite: the columns a technician sees, sorting, each
// filter, the chosen columns remembered, copy and export, and the rows that another program adds
// while the window is open.
#include "app/HistoryWindow.h"
#include "record/HistoryStore.h"
#include "tests/support/Fakes.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Exchange {
    QDateTime started;
    const char *kind, *port, *module, *outcome;
    double seconds;
};

// Adds the row as a program of its own would, through a connection of its own.
qint64 record(const QString& folder, const Exchange& made) {
    HistoryStore history(folder);
    if (!history.open())
        return 0;
    HistoryRow row;
    row.kind = made.kind;
    row.started = made.started.toOffsetFromUtc(made.started.offsetFromUtc()).toString(Qt::ISODate);
    row.port = made.port;
    row.module = made.module;
    row.image = row.kind == kUpdateKind ? "/srv/firmware/DVB-" + row.module + "-2.bin" : "";
    row.outcome = made.outcome;
    row.seconds = made.seconds;
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
        {"port", 1, "ST"},    // COM1
        {"outcome", 2, "B"},  // error
        {"kind", 2, "B"},     // comtest
        {"when", 1, "S"},     // today
        {"when", 2, "SBT"},   // the last 7 days
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
        "\tCOM1\tSAT\t/srv/firmware/DVB-SAT-2.bin\tsuccess\t9.5\t\n"));
    choose("kind", 2);
    const QStringList exported = window->exportText().split("\r\n");
    EXPECT_EQ(exported.value(0),
              "started,kind,station,port,device,module,image,outcome,duration_s,"
              "bytes_sent,image_size,image_sha256,finished,log,reason_code,reason,exchange_id");
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

}  // namespace
}  // namespace tarvel::test
