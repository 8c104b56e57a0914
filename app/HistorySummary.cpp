#include "app/HistorySummary.h"

#include "platform/ShownText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvel {

namespace {

// A yield bar per group, then the Pareto: each reason's count as a bar, the cumulative share
// as a line over them.
class SummaryChart : public QWidget {
  public:
    using QWidget::QWidget;
    void setReport(const HistoryReport& report) {
        report_ = report;
        const int rows = int(report.lines.size());
        setMinimumHeight(rowHeight() * rows + (report.pareto.empty() ? 0 : kParetoHeight) + 8);
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int label = width() / 4,
                  bars = width() - label -
                         fontMetrics().horizontalAdvance(QStringLiteral("100.0 % of 9999"));
        int y = 0;
        for (const ReportLine& line : report_.lines) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(QRect(0, y, label - 4, rowHeight()), Qt::AlignVCenter,
                             fontMetrics().elidedText(shownText(line.group.join(" / ")),
                                                      Qt::ElideLeft, label - 4));
            const QRect bar(label, y + 3, bars - 8, rowHeight() - 6);
            painter.fillRect(bar, line.updates ? QColor(0xc6, 0x28, 0x28) : Qt::lightGray);
            const int good = int(bar.width() * line.yield().value_or(0) / 100);
            painter.fillRect(bar.adjusted(0, 0, good - bar.width(), 0), QColor(0x2e, 0x7d, 0x32));
            painter.drawText(
                QRect(label + bars, y, width() - label - bars, rowHeight()), Qt::AlignVCenter,
                QStringLiteral("%1 % of %2").arg(reportFigure(line.yield())).arg(line.updates));
            y += rowHeight();
        }
        paintPareto(painter, QRect(0, y + 8, width(), kParetoHeight - 8));
    }

  private:
    static constexpr int kParetoHeight = 160;
    int rowHeight() const { return fontMetrics().height() + 6; }

    void paintPareto(QPainter& painter, const QRect& area) {
        if (report_.pareto.empty())
            return;
        const int text = fontMetrics().height();
        const QRect plot = area.adjusted(0, text, 0, -text - 2);
        const double step = double(plot.width()) / report_.pareto.size();
        const double most = double(report_.pareto.front().count);
        QPolygonF cumulative;
        for (std::size_t i = 0; i < report_.pareto.size(); ++i) {
            const ParetoLine& line = report_.pareto[i];
            const int height = int(plot.height() * line.count / most);
            const QRectF bar(plot.left() + i * step + step * 0.15, plot.bottom() - height,
                             step * 0.7, height);
            painter.fillRect(bar, QColor(0xc6, 0x28, 0x28));
            painter.drawText(QRectF(plot.left() + i * step, plot.bottom() + 2, step, text),
                             Qt::AlignHCenter,
                             fontMetrics().elidedText(line.code, Qt::ElideRight, int(step)));
            cumulative << QPointF(bar.center().x(),
                                  plot.bottom() - plot.height() * line.cumulative / 100);
        }
        painter.setPen(QPen(palette().color(QPalette::WindowText), 2));
        painter.drawPolyline(cumulative);
    }

    HistoryReport report_;
};

}  // namespace

HistorySummary::HistorySummary(QWidget* parent)
    : QWidget(parent),
      by_(new QComboBox(this)),
      figures_(new QTableWidget(this)),
      chart_(new SummaryChart(this)),
      problem_(new QLabel(this)) {
    by_->setObjectName(QStringLiteral("by"));
    for (const ReportGroup group : {ReportGroup::Station, ReportGroup::Module, ReportGroup::Image,
                                    ReportGroup::Port, ReportGroup::Day, ReportGroup::Hour})
        by_->addItem(reportGroupWord(group), int(group));
    connect(by_, &QComboBox::currentIndexChanged, this, [this] {
        if (onGroupingChanged)
            onGroupingChanged();
    });
    figures_->setObjectName(QStringLiteral("figures"));
    figures_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    figures_->verticalHeader()->hide();
    figures_->horizontalHeader()->setStretchLastSection(true);
    problem_->setWordWrap(true);
    problem_->hide();
    auto* choice = new QHBoxLayout;
    auto* caption = new QLabel(QStringLiteral("&Group by:"), this);
    caption->setBuddy(by_);
    choice->addWidget(caption);
    choice->addWidget(by_);
    choice->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(choice);
    layout->addWidget(problem_);
    layout->addWidget(figures_, 1);
    layout->addWidget(chart_);
}

std::vector<ReportGroup> HistorySummary::grouping() const {
    return {ReportGroup(by_->currentData().toInt())};
}

void HistorySummary::setReport(const HistoryReport& report) {
    problem_->hide();
    const QStringList header{reportGroupWord(report.by.front()),
                             "Updates",
                             "OK",
                             "Yield %",
                             "Median s",
                             "P95 s",
                             "Running",
                             "Failures"};
    figures_->clear();
    figures_->setColumnCount(int(header.size()));
    figures_->setHorizontalHeaderLabels(header);
    figures_->setRowCount(int(report.lines.size()) + 1);
    const auto put = [this](int row, const QString& group, const ReportLine& line) {
        const QStringList cells{shownText(group),
                                QString::number(line.updates),
                                QString::number(line.successes),
                                reportFigure(line.yield()),
                                reportFigure(line.medianSeconds),
                                reportFigure(line.p95Seconds),
                                QString::number(line.running),
                                reportFailures(line)};
        for (int column = 0; column < cells.size(); ++column)
            figures_->setItem(row, column, new QTableWidgetItem(cells[column]));
    };
    for (std::size_t i = 0; i < report.lines.size(); ++i)
        put(int(i), report.lines[i].group.value(0), report.lines[i]);
    put(int(report.lines.size()), QStringLiteral("all"), report.whole);
    static_cast<SummaryChart*>(chart_)->setReport(report);
}

void HistorySummary::setProblem(const QString& why) {
    problem_->setText(QStringLiteral("No summary: %1").arg(shownText(why)));
    problem_->show();
}

}  // namespace tarvel
