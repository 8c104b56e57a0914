#include "app/HistoryWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlRecord>
#include <QTableView>
#include <QVBoxLayout>

namespace tarvel {

namespace {
const QString kAll = QStringLiteral("All");
}  // namespace

HistoryWindow::HistoryWindow(const QString& stateFolder, QWidget* parent)
    : QDialog(parent),
      history_(stateFolder),
      port_(new QComboBox(this)),
      outcome_(new QComboBox(this)),
      table_(new QTableView(this)) {
    setWindowTitle(QStringLiteral("History"));
    byPort_.setSourceModel(&rows_);
    byOutcome_.setSourceModel(&byPort_);
    table_->setModel(&byOutcome_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const QString log = index.siblingAtColumn(column("log")).data().toString();
        if (onOpenLog && !log.isEmpty())
            onOpenLog(log);
    });

    outcome_->addItems({kAll, QStringLiteral("success"), QStringLiteral("error"),
                        QStringLiteral("no-image"), QStringLiteral("refused"),
                        QStringLiteral("cancelled"), QStringLiteral("timeout"),
                        QStringLiteral("interrupted"), kRunning, kUnfinished});
    port_->addItem(kAll);
    connect(port_, &QComboBox::currentTextChanged, this, [this] { filterBy(port_, byPort_); });
    connect(outcome_, &QComboBox::currentTextChanged, this,
            [this] { filterBy(outcome_, byOutcome_); });
    auto* refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    connect(refreshButton, &QPushButton::clicked, this, &HistoryWindow::refresh);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Port:"), this));
    filters->addWidget(port_);
    filters->addWidget(new QLabel(QStringLiteral("Outcome:"), this));
    filters->addWidget(outcome_);
    filters->addStretch();
    filters->addWidget(refreshButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table_);
    resize(1100, 500);
    refresh();
}

int HistoryWindow::column(const char* name) const {
    return rows_.record().indexOf(QLatin1String(name));
}

void HistoryWindow::refresh() {
    if (!history_.open(false)) {
        rows_.clear();
        return;
    }
    history_.settleAbandoned();
    rows_.setQuery(HistoryStore::listingStatement(), history_.database());
    while (rows_.canFetchMore())
        rows_.fetchMore();
    // The ports seen so far, the chosen one kept.
    const QString chosen = port_->currentText();
    QStringList ports;
    for (int row = 0; row < rows_.rowCount(); ++row) {
        const QString port = rows_.index(row, column("port")).data().toString();
        if (!ports.contains(port))
            ports << port;
    }
    ports.sort();
    const QSignalBlocker quiet(port_);
    port_->clear();
    port_->addItems(QStringList{kAll} + ports);
    port_->setCurrentText(chosen);
    byPort_.setFilterKeyColumn(column("port"));
    byOutcome_.setFilterKeyColumn(column("outcome"));
    filterBy(port_, byPort_);
    table_->resizeColumnsToContents();
}

void HistoryWindow::filterBy(QComboBox* choice, QSortFilterProxyModel& filter) {
    const QString text = choice->currentText();
    filter.setFilterRegularExpression(
        text == kAll ? QString() : QStringLiteral("^%1$").arg(QRegularExpression::escape(text)));
}

}  // namespace tarvel
