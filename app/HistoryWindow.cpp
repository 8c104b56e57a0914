#include "app/HistoryWindow.h"

#include "app/ElidedLabel.h"
#include "app/HistoryReader.h"
#include "app/HistorySummary.h"
#include "central/CentralHistory.h"
#include "platform/SettingsStore.h"
#include "record/HistoryCsv.h"
#include "status/Outcome.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarvel {

namespace {

const QString kAll = QStringLiteral("All");
const QString kSection = QStringLiteral("History");
enum When { kAnyTime, kToday, kLastWeek, kBetween };

QComboBox* choice(const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

QLabel* caption(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, buddy->parentWidget());
    label->setBuddy(buddy);
    return label;
}

}  // namespace

HistoryWindow::HistoryWindow(const QString& stateFolder, SettingsStore& settings, QWidget* parent)
    : HistoryWindow(stateFolder, HistoryDestination::from(settings), settings, parent) {}

HistoryWindow::HistoryWindow(const QString& stateFolder, const HistoryDestination& line,
                             SettingsStore& settings, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      ownStation_(line.station),
      reader_([stateFolder, line] { return std::make_unique<HistoryReader>(stateFolder, line); }),
      timer_(new QTimer(this)),
      station_(choice({kAll}, this)),
      port_(choice({kAll}, this)),
      outcome_(choice(QStringList{kAll, HistoryFilterModel::kEveryFailure} + outcomeWords(), this)),
      kind_(choice({kAll, kUpdateKind, kComtestKind}, this)),
      when_(choice({kAll, QStringLiteral("Today"), QStringLiteral("Last 7 days"),
                    QStringLiteral("From … to …")},
                   this)),
      range_(new QWidget(this)),
      from_(new QDateEdit(QDate::currentDate().addDays(-6), range_)),
      to_(new QDateEdit(QDate::currentDate(), range_)),
      local_(new QCheckBox(QStringLiteral("T&his station only"), this)),
      notice_(new ElidedLabel(this)),
      count_(new QLabel(this)),
      table_(new QTableView(this)),
      summary_(new HistorySummary(this)) {
    setWindowTitle(QStringLiteral("History"));
    preloadSqlDriver(QStringLiteral("QSQLITE"));
    if (!line.database.isEmpty())
        preloadSqlDriver(QStringLiteral("QPSQL"));

    setUpTable();
    summary_->setObjectName(QStringLiteral("summaryView"));
    summary_->hide();
    summary_->onGroupingChanged = [this] { summarize(); };
    setUpFilters(!line.database.isEmpty());
    layOut(buttonRow());

    timer_->setInterval(kLookEveryMs);
    connect(timer_, &QTimer::timeout, this, [this] { look(false); });
}

void HistoryWindow::setUpTable() {
    shown_.setSourceModel(&rows_);
    table_->setModel(&shown_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSortingEnabled(true);
    table_->sortByColumn(HistoryModel::columnOf("started"), Qt::DescendingOrder);
    table_->setWordWrap(false);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->hide();
    // Compact rows: a line of text and a little air.
    table_->verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 4);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const HistoryRow& row = shown_.rowAt(index.row());
        // Another station's log lies on that station; a file of the same name here is another.
        if (!row.station.isEmpty() && row.station != ownStation_) {
            count_->setText(
                QStringLiteral("The log of that row is on %1: %2").arg(row.station, row.log));
            return;
        }
        if (onOpenLog && !row.log.isEmpty())
            onOpenLog(row.log);
    });
    auto* copy = new QAction(QStringLiteral("Copy"), table_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &HistoryWindow::copySelection);
    table_->addAction(copy);
}

// The filters; "This station only" shows only with a line's history, the only one with another
// station's rows than this one's.
void HistoryWindow::setUpFilters(bool centralHistory) {
    for (QComboBox* box : {station_, port_, outcome_, kind_, when_})
        connect(box, &QComboBox::currentIndexChanged, this, &HistoryWindow::applyFilters);
    station_->setObjectName(QStringLiteral("station"));
    port_->setObjectName(QStringLiteral("port"));
    outcome_->setObjectName(QStringLiteral("outcome"));
    kind_->setObjectName(QStringLiteral("kind"));
    when_->setObjectName(QStringLiteral("when"));
    for (QDateEdit* date : {from_, to_}) {
        date->setCalendarPopup(true);
        connect(date, &QDateEdit::dateChanged, this, &HistoryWindow::applyFilters);
    }
    local_->setObjectName(QStringLiteral("local"));
    local_->setToolTip(QStringLiteral("This station's own history instead of the line's"));
    local_->setVisible(centralHistory);
    connect(local_, &QCheckBox::toggled, this, [this] { look(true); });
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->hide();
}

QLayout* HistoryWindow::buttonRow() {
    auto* columns = new QToolButton(this);
    columns->setObjectName(QStringLiteral("columns"));
    columns->setText(QStringLiteral("Columns"));
    columns->setPopupMode(QToolButton::InstantPopup);
    columns->setMenu(columnMenu());
    connect(table_->horizontalHeader(), &QWidget::customContextMenuRequested, this,
            [this, columns](const QPoint& at) {
                columns->menu()->popup(table_->horizontalHeader()->mapToGlobal(at));
            });
    auto* copyButton = new QPushButton(QStringLiteral("Copy"), this);
    connect(copyButton, &QPushButton::clicked, this, &HistoryWindow::copySelection);
    auto* exportButton = new QPushButton(QStringLiteral("Export…"), this);
    chooseExportFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export the history"),
                                            QStringLiteral("history.csv"),
                                            QStringLiteral("CSV (*.csv)"));
    };
    connect(exportButton, &QPushButton::clicked, this, [this] {
        if (const QString path = chooseExportFile ? chooseExportFile() : QString(); !path.isEmpty())
            exportTo(path);
    });
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    auto* summary = new QPushButton(QStringLiteral("S&ummary"), this);
    summary->setObjectName(QStringLiteral("summary"));
    summary->setCheckable(true);
    connect(summary, &QPushButton::toggled, this, [this](bool on) {
        table_->setVisible(!on);
        summary_->setVisible(on);
        summarize();
    });
    buttons->addWidget(count_, 1);
    buttons->addWidget(summary);
    for (QWidget* button :
         std::initializer_list<QWidget*>{columns, copyButton, exportButton, close})
        buttons->addWidget(button);
    return buttons;
}

void HistoryWindow::layOut(QLayout* buttons) {
    auto* filters = new QHBoxLayout;
    filters->addWidget(caption(QStringLiteral("&Station:"), station_));
    filters->addWidget(station_);
    filters->addWidget(caption(QStringLiteral("&Port:"), port_));
    filters->addWidget(port_);
    filters->addWidget(caption(QStringLiteral("&Outcome:"), outcome_));
    filters->addWidget(outcome_);
    filters->addWidget(caption(QStringLiteral("&Kind:"), kind_));
    filters->addWidget(kind_);
    filters->addWidget(caption(QStringLiteral("&When:"), when_));
    filters->addWidget(when_);
    filters->addWidget(local_);
    filters->addStretch();
    auto* between = new QHBoxLayout(range_);
    between->setContentsMargins(0, 0, 0, 0);
    between->addWidget(new QLabel(QStringLiteral("From"), range_));
    between->addWidget(from_);
    between->addWidget(new QLabel(QStringLiteral("to"), range_));
    between->addWidget(to_);
    between->addStretch();
    range_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(range_);
    layout->addWidget(notice_);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_, 1);
    layout->addLayout(buttons);
    restoreColumns();
}

// A reader that the network holds is left behind: the window never waits for it.
HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::showEvent(QShowEvent* event) {
    if (!sized_) {
        sized_ = true;
        const QByteArray geometry = QByteArray::fromBase64(
            settings_.value(kSection, QStringLiteral("Geometry"), QString()).toLatin1());
        // A size that fits a 1024 × 768 screen, unless the technician chose another.
        if (geometry.isEmpty() || !restoreGeometry(geometry)) {
            const QSize room = screen() ? screen()->availableSize() : QSize(1024, 768);
            resize(qMin(900, room.width() * 9 / 10), qMin(540, room.height() * 8 / 10));
        }
    }
    QDialog::showEvent(event);
    timer_->start();
    look(true);
}

void HistoryWindow::hideEvent(QHideEvent* event) {
    timer_->stop();
    settings_.setValue(kSection, QStringLiteral("Geometry"),
                       QString::fromLatin1(saveGeometry().toBase64()));
    QDialog::hideEvent(event);
}

void HistoryWindow::refresh() {
    look(true);
}

QString HistoryWindow::notice() const {
    return notice_->fullText();
}

// Asks the reader for the rows; one request at a time, a forced one kept for when it is back.
void HistoryWindow::look(bool force) {
    if (!isVisible())
        return;
    if (reading_) {
        lookAgain_ = lookAgain_ || force;
        return;
    }
    reading_ = true;
    reader_.post([this, force, localOnly = local_->isChecked()](HistoryReader& reader) {
        std::optional<HistoryRead> read = reader.readIfChanged(force, localOnly);
        reader.tell([this, read = std::move(read)]() mutable {
            reading_ = false;
            if (read)
                showRows(std::move(*read));
            if (std::exchange(lookAgain_, false))
                look(true);
        });
    });
}

void HistoryWindow::showRows(HistoryRead read) {
    notice_->setFullText(read.notice);
    notice_->setVisible(!read.notice.isEmpty());
    // The ids of one history say nothing of another's rows.
    if (read.line != showsLine_) {
        showsLine_ = read.line;
        rows_.setRows({});
    }
    std::vector<HistoryRow>& rows = read.rows;
    QSet<qint64> selected;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        selected << shown_.rowAt(index.row()).id;
    const QModelIndex current = table_->currentIndex();
    const qint64 currentId = current.isValid() ? shown_.rowAt(current.row()).id : -1;
    const int scrolled = table_->verticalScrollBar()->value();
    const bool first = rows_.rowCount() == 0;
    rows_.setRows(std::move(rows));
    // After a reset the same exchanges are selected again.
    QItemSelection selection;
    for (int row = 0; row < shown_.rowCount(); ++row) {
        const qint64 id = shown_.rowAt(row).id;
        if (selected.contains(id))
            selection.select(shown_.index(row, 0), shown_.index(row, shown_.columnCount() - 1));
        if (id == currentId)
            table_->selectionModel()->setCurrentIndex(shown_.index(row, current.column()),
                                                      QItemSelectionModel::NoUpdate);
    }
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    table_->verticalScrollBar()->setValue(scrolled);
    fillChoices(station_, &HistoryRow::station);
    fillChoices(port_, &HistoryRow::port);
    applyFilters();
    if (first && rows_.rowCount() > 0)
        table_->resizeColumnsToContents();
}

void HistoryWindow::fillChoices(QComboBox* box, QString HistoryRow::*field) {
    QStringList values;
    for (const HistoryRow& row : rows_.rows()) {
        if (!values.contains(row.*field))
            values << row.*field;
    }
    values.sort();
    values.prepend(kAll);
    QStringList now;
    for (int item = 0; item < box->count(); ++item)
        now << box->itemText(item);
    if (now == values)
        return;
    const QString chosen = box->currentText();
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItems(values);
    box->setCurrentText(chosen);
}

void HistoryWindow::applyFilters() {
    auto chosen = [](const QComboBox* box) {
        return box->currentIndex() <= 0 ? QString() : box->currentText();
    };
    shown_.setStation(chosen(station_));
    shown_.setPort(chosen(port_));
    shown_.setOutcome(chosen(outcome_));
    shown_.setKind(chosen(kind_));
    const QDate today = QDate::currentDate();
    range_->setVisible(when_->currentIndex() == kBetween);
    switch (when_->currentIndex()) {
        case kToday:
            shown_.setStartedWithin(today.startOfDay(), {});
            break;
        case kLastWeek:
            shown_.setStartedWithin(today.addDays(-6).startOfDay(), {});
            break;
        case kBetween:
            shown_.setStartedWithin(from_->date().startOfDay(),
                                    to_->date().addDays(1).startOfDay());
            break;
        default:
            shown_.setStartedWithin({}, {});
    }
    count_->setText(
        shown_.rowCount() == rows_.rowCount() ? QStringLiteral("%1 rows").arg(rows_.rowCount())
        : shown_.rowCount() == 0
            ? QStringLiteral("No row matches (of %1)").arg(rows_.rowCount())
            : QStringLiteral("%1 of %2 rows").arg(shown_.rowCount()).arg(rows_.rowCount()));
    summarize();
}

HistoryFilter HistoryWindow::filter() const {
    auto chosen = [](const QComboBox* box) {
        return box->currentIndex() <= 0 ? QString() : box->currentText();
    };
    HistoryFilter filter;
    filter.station = chosen(station_);
    filter.port = chosen(port_);
    filter.outcome = chosen(outcome_) == HistoryFilterModel::kEveryFailure
                         ? QString::fromLatin1(kEveryFailure)
                         : chosen(outcome_);
    const QDate today = QDate::currentDate();
    if (when_->currentIndex() == kToday)
        filter.since = today.startOfDay();
    if (when_->currentIndex() == kLastWeek)
        filter.since = today.addDays(-6).startOfDay();
    if (when_->currentIndex() == kBetween) {
        filter.since = from_->date().startOfDay();
        filter.until = to_->date().addDays(1).startOfDay();
    }
    return filter;
}

// The summary of what the filters select, counted on the reader's worker like every read.
void HistoryWindow::summarize() {
    if (!summary_->isVisible())
        return;
    reader_.post([this, filter = filter(), by = summary_->grouping()](HistoryReader& reader) {
        QString why;
        std::optional<HistoryReport> report = reader.report(filter, by, &why);
        reader.tell([this, report = std::move(report), why] {
            if (report)
                summary_->setReport(*report);
            else
                summary_->setProblem(why);
        });
    });
}

QMenu* HistoryWindow::columnMenu() {
    auto* menu = new QMenu(this);
    for (int column = 0; column < rows_.columnCount(); ++column) {
        QAction* item = menu->addAction(QString::fromLatin1(HistoryModel::column(column).header));
        item->setCheckable(true);
        item->setData(column);
        connect(item, &QAction::toggled, this, [this, menu, column](bool on) {
            table_->setColumnHidden(column, !on);
            // The last column shown stays.
            int visible = 0;
            for (QAction* other : menu->actions())
                visible += other->isChecked() ? 1 : 0;
            for (QAction* other : menu->actions())
                other->setEnabled(visible > 1 || !other->isChecked());
            saveColumns();
        });
    }
    return menu;
}

void HistoryWindow::restoreColumns() {
    const QStringList chosen = settings_.value(kSection, QStringLiteral("Columns"), QString())
                                   .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QAction* item : findChild<QToolButton*>(QStringLiteral("columns"))->menu()->actions()) {
        const HistoryColumn& column = HistoryModel::column(item->data().toInt());
        item->setChecked(chosen.isEmpty() ? column.inWindow
                                          : chosen.contains(QLatin1String(column.name)));
        table_->setColumnHidden(item->data().toInt(), !item->isChecked());
    }
}

void HistoryWindow::saveColumns() {
    QStringList chosen;
    for (int column = 0; column < rows_.columnCount(); ++column) {
        if (!table_->isColumnHidden(column))
            chosen << QLatin1String(HistoryModel::column(column).name);
    }
    settings_.setValue(kSection, QStringLiteral("Columns"), chosen.join(QLatin1Char(',')));
}

// The selected rows' visible columns, whole values, a tab between them: for a report or a
// spreadsheet.
void HistoryWindow::copySelection() const {
    QModelIndexList selected = table_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end());
    QString text;
    for (const QModelIndex& index : selected) {
        QStringList fields;
        for (int column = 0; column < rows_.columnCount(); ++column) {
            const int at = table_->horizontalHeader()->logicalIndex(column);
            if (!table_->isColumnHidden(at))
                fields << HistoryModel::column(at).text(shown_.rowAt(index.row()));
        }
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

QString HistoryWindow::exportText() const {
    QStringList names;
    for (const HistoryColumn& column : historyColumns())
        names << QLatin1String(column.name);
    QString text = csvLine(names);
    for (int row = 0; row < shown_.rowCount(); ++row) {
        QStringList fields;
        for (const HistoryColumn& column : historyColumns())
            fields << column.text(shown_.rowAt(row));
        text += csvLine(fields);
    }
    return text;
}

bool HistoryWindow::exportTo(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(exportText().toUtf8()) >= 0 && file.flush())
        return true;
    count_->setText(QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
    return false;
}

}  // namespace tarvel
