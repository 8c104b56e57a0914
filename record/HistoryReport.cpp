#include "record/HistoryReport.h"

#include "record/SqliteReason.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <map>

namespace tarvel {

namespace {

struct GroupRow {
    ReportGroup group;
    const char* word;
    const char* expression;  // in SQL that SQLite and PostgreSQL both read
};
// A row's start is ISO text in the station's local time: its first ten characters are the day,
// its first thirteen the hour.
constexpr GroupRow kGroups[] = {
    {ReportGroup::Station, "station", "station"},
    {ReportGroup::Module, "module", "module"},
    {ReportGroup::Image, "image", "image"},
    {ReportGroup::Port, "port", "port"},
    {ReportGroup::Day, "day", "substr(started, 1, 10)"},
    {ReportGroup::Hour, "hour", "substr(started, 1, 13)"},
};

const GroupRow& rowOf(ReportGroup group) {
    for (const GroupRow& row : kGroups) {
        if (row.group == group)
            return row;
    }
    return kGroups[0];
}

// A failure's reason code; rows older than reason codes have only their outcome's word.
const QString kCode = QStringLiteral("COALESCE(NULLIF(reason_code, ''), outcome)");
const QString kFailed = QStringLiteral(" AND outcome NOT IN ('success', 'running')");

// The groups as SQL: the columns selected (g0, g1), and their expressions for a window's
// partition, which cannot name a column of its own select.
struct Grouping {
    QStringList selected;
    QStringList names;
    QStringList expressions;

    QString select() const { return selected.isEmpty() ? QString() : selected.join(", ") + ", "; }
    QString groupBy(const QString& more = {}) const {
        QStringList all = names;
        if (!more.isEmpty())
            all << more;
        return all.isEmpty() ? QString() : QStringLiteral(" GROUP BY ") + all.join(", ");
    }
    QString partition() const {
        return expressions.isEmpty() ? QString()
                                     : QStringLiteral("PARTITION BY ") + expressions.join(", ");
    }
};

Grouping groupingOf(const std::vector<ReportGroup>& by) {
    Grouping grouping;
    for (std::size_t i = 0; i < by.size(); ++i) {
        const QString name = QStringLiteral("g%1").arg(i);
        const QString expression = QLatin1String(rowOf(by[i]).expression);
        grouping.selected << expression + QStringLiteral(" AS ") + name;
        grouping.names << name;
        grouping.expressions << expression;
    }
    return grouping;
}

// Runs the report's statements on the filter's condition, bound anew for each.
class Statements {
  public:
    Statements(QSqlDatabase& database, const HistoryFilter& filter, QString* reason)
        : database_(database), condition_(historyCondition(filter)), reason_(reason) {}

    const QString& where() const { return condition_.where; }
    // The executed query, or none with the reason.
    std::optional<QSqlQuery> run(const QString& statement) {
        QSqlQuery query(database_);
        query.setForwardOnly(true);
        if (query.prepare(statement)) {
            for (const QVariant& value : condition_.values)
                query.addBindValue(value);
            if (query.exec())
                return query;
        }
        *reason_ = sqliteFailureReason(database_, query.lastError());
        return std::nullopt;
    }

  private:
    QSqlDatabase& database_;
    HistoryCondition condition_;
    QString* reason_;
};

QStringList groupOf(const QSqlQuery& query, int groups) {
    QStringList values;
    for (int i = 0; i < groups; ++i)
        values << query.value(i).toString();
    return values;
}

// Each group's line, found by its values.
class Lines {
  public:
    explicit Lines(std::vector<ReportLine>& lines) : lines_(lines) {}
    ReportLine& at(const QStringList& group) {
        const auto [found, added] = index_.try_emplace(group.join(QChar(0x1f)), lines_.size());
        if (added) {
            lines_.emplace_back();
            lines_.back().group = group;
        }
        return lines_[found->second];
    }

  private:
    std::vector<ReportLine>& lines_;
    std::map<QString, std::size_t> index_;
};

bool readCounts(Statements& run, const Grouping& grouping, Lines& lines) {
    std::optional<QSqlQuery> query = run.run(
        QStringLiteral("SELECT %1SUM(CASE WHEN outcome <> 'running' THEN 1 ELSE 0 END), "
                       "SUM(CASE WHEN outcome = 'success' THEN 1 ELSE 0 END), "
                       "SUM(CASE WHEN outcome = 'running' THEN 1 ELSE 0 END), SUM(bytes_sent) "
                       "FROM history WHERE %2%3 %4")
            .arg(grouping.select(), run.where(), grouping.groupBy(),
                 grouping.names.isEmpty()
                     ? QString()
                     : QStringLiteral("ORDER BY ") + grouping.names.join(", ")));
    if (!query)
        return false;
    const int groups = int(grouping.names.size());
    for (QSqlQuery& row = *query; row.next();) {
        ReportLine& line = lines.at(groupOf(row, groups));
        line.updates = row.value(groups).toLongLong();
        line.successes = row.value(groups + 1).toLongLong();
        line.running = row.value(groups + 2).toLongLong();
        line.bytesSent = row.value(groups + 3).toLongLong();
    }
    return true;
}

bool readFailures(Statements& run, const Grouping& grouping, Lines& lines) {
    std::optional<QSqlQuery> query =
        run.run(QStringLiteral("SELECT %1%2 AS code, COUNT(*) AS n FROM history "
                               "WHERE %3%4%5 ORDER BY n DESC, code")
                    .arg(grouping.select(), kCode, run.where(), kFailed,
                         grouping.groupBy(QStringLiteral("code"))));
    if (!query)
        return false;
    const int groups = int(grouping.names.size());
    for (QSqlQuery& row = *query; row.next();) {
        lines.at(groupOf(row, groups))
            .failures.emplace_back(row.value(groups).toString(),
                                   row.value(groups + 1).toLongLong());
    }
    return true;
}

// The median and the 95th percentile of the successful durations by nearest rank: the values
// at ranks ceil(n / 2) and ceil(95 n / 100) in each group, the database ranking them.
bool readDurations(Statements& run, const Grouping& grouping, Lines& lines) {
    std::optional<QSqlQuery> query = run.run(
        QStringLiteral("SELECT %1duration_s, rn, n FROM (SELECT %2duration_s, "
                       "ROW_NUMBER() OVER (%3 ORDER BY duration_s) AS rn, "
                       "COUNT(*) OVER (%3) AS n FROM history WHERE %4 AND outcome = 'success') "
                       "ranked WHERE rn = (n + 1) / 2 OR rn = (95 * n + 99) / 100")
            .arg(grouping.names.isEmpty() ? QString() : grouping.names.join(", ") + ", ",
                 grouping.select(), grouping.partition(), run.where()));
    if (!query)
        return false;
    const int groups = int(grouping.names.size());
    for (QSqlQuery& row = *query; row.next();) {
        ReportLine& line = lines.at(groupOf(row, groups));
        const double seconds = row.value(groups).toDouble();
        const qint64 rank = row.value(groups + 1).toLongLong();
        const qint64 count = row.value(groups + 2).toLongLong();
        if (rank == (count + 1) / 2)
            line.medianSeconds = seconds;
        if (rank == (95 * count + 99) / 100)
            line.p95Seconds = seconds;
    }
    return true;
}

bool readPareto(Statements& run, HistoryReport& report) {
    std::optional<QSqlQuery> query =
        run.run(QStringLiteral("SELECT %1 AS code, COUNT(*) AS n, MAX(reason) FROM history "
                               "WHERE %2%3 GROUP BY code ORDER BY n DESC, code")
                    .arg(kCode, run.where(), kFailed));
    if (!query)
        return false;
    qint64 failures = report.whole.updates - report.whole.successes;
    qint64 counted = 0;
    for (QSqlQuery& row = *query; row.next();) {
        ParetoLine line{row.value(0).toString(), row.value(1).toLongLong(), 0, 0,
                        row.value(2).toString()};
        counted += line.count;
        line.share = failures > 0 ? 100.0 * line.count / failures : 0;
        line.cumulative = failures > 0 ? 100.0 * counted / failures : 0;
        report.pareto.push_back(line);
    }
    return true;
}

}  // namespace

QString reportGroupWord(ReportGroup group) {
    return QLatin1String(rowOf(group).word);
}

std::optional<ReportGroup> reportGroupFromWord(const QString& word) {
    for (const GroupRow& row : kGroups) {
        if (word == QLatin1String(row.word))
            return row.group;
    }
    return std::nullopt;
}

std::optional<double> ReportLine::yield() const {
    if (updates == 0)
        return std::nullopt;
    return 100.0 * successes / updates;
}

std::optional<HistoryReport> readHistoryReport(QSqlDatabase& database, const HistoryFilter& filter,
                                               const std::vector<ReportGroup>& by,
                                               QString* reason) {
    HistoryFilter updates = filter;
    updates.kind = kUpdateKind;
    Statements run(database, updates, reason);
    HistoryReport report;
    report.by = by;
    std::vector<ReportLine> whole;
    Lines wholeLines(whole);
    Lines groupLines(report.lines);
    const Grouping grouped = groupingOf(by);
    const Grouping none = groupingOf({});
    const bool read =
        readCounts(run, grouped, groupLines) && readFailures(run, grouped, groupLines) &&
        readDurations(run, grouped, groupLines) && readCounts(run, none, wholeLines) &&
        readFailures(run, none, wholeLines) && readDurations(run, none, wholeLines);
    if (!read)
        return std::nullopt;
    report.whole = wholeLines.at({});
    if (!readPareto(run, report))
        return std::nullopt;
    return report;
}

}  // namespace tarvel
