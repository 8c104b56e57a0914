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
// A duration to a tenth of a second, as a report shows it.
const QString kTenths = QStringLiteral("round(duration_s * 10) / 10");

// The groups as SQL: the columns selected (g0, g1) and their names.
struct Grouping {
    QStringList selected;
    QStringList names;

    QString select() const { return selected.isEmpty() ? QString() : selected.join(", ") + ", "; }
    QString groupBy(const QString& more = {}) const {
        QStringList all = names;
        if (!more.isEmpty())
            all << more;
        return all.isEmpty() ? QString() : QStringLiteral(" GROUP BY ") + all.join(", ");
    }
};

Grouping groupingOf(const std::vector<ReportGroup>& by) {
    Grouping grouping;
    for (std::size_t i = 0; i < by.size(); ++i) {
        const QString name = QStringLiteral("g%1").arg(i);
        const QString expression = QLatin1String(rowOf(by[i]).expression);
        grouping.selected << expression + QStringLiteral(" AS ") + name;
        grouping.names << name;
    }
    return grouping;
}

// Runs the report's statements on the filter's condition, bound anew for each.
class Statements {
  public:
    Statements(QSqlDatabase& database, const HistoryFilter& filter, QString* reason)
        : database_(database),
          filter_(filter),
          condition_(historyCondition(filter)),
          reason_(reason) {}

    const QString& where() const { return condition_.where; }
    // A report reads every row of its range. Without a range SQLite is told to read the table
    // straight through: walking an index and fetching each row from it took it twice as long.
    // SQLite sorts the ends and the durations together in one pass over the rows; PostgreSQL
    // counts them faster apart, the ends in few groups and the durations in many.
    bool onePass() const { return database_.driverName() == QLatin1String("QSQLITE"); }
    QString table() const {
        const bool everything = !filter_.since.isValid() && !filter_.until.isValid();
        return everything && database_.driverName() == QLatin1String("QSQLITE")
                   ? QStringLiteral("history NOT INDEXED")
                   : QStringLiteral("history");
    }
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
    HistoryFilter filter_;
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
    // Its place among the lines, added at the end when it is new.
    std::size_t index(const QStringList& group) {
        const auto [found, added] = index_.try_emplace(group.join(QChar(0x1f)), lines_.size());
        if (added) {
            lines_.emplace_back();
            lines_.back().group = group;
        }
        return found->second;
    }
    ReportLine& at(const QStringList& group) { return lines_[index(group)]; }

  private:
    std::vector<ReportLine>& lines_;
    std::map<QString, std::size_t> index_;
};

// The successful durations of a group to a tenth of a second, counted: enough to find any rank
// without reading a row per update.
using Durations = std::map<double, qint64>;

// Each group's updates by how they ended, in one pass over the rows: successes with their
// durations, rows running, and failures by reason code, with their bytes and one failure's
// sentence.
bool readEnds(Statements& run, const Grouping& grouping, Lines& lines,
              std::vector<Durations>* durations, std::map<QString, QString>* examples) {
    const QString tenths =
        run.onePass() ? QStringLiteral("CASE WHEN outcome = 'success' THEN %1 END").arg(kTenths)
                      : QStringLiteral("NULL");
    std::optional<QSqlQuery> query = run.run(
        QStringLiteral("SELECT %1CASE WHEN outcome = 'success' THEN 1 WHEN outcome = 'running' "
                       "THEN 2 ELSE 0 END AS ended, CASE WHEN outcome IN ('success', 'running') "
                       "THEN '' ELSE %2 END AS code, %3 AS tenths, COUNT(*), SUM(bytes_sent), "
                       "MAX(reason) FROM %4 WHERE %5%6 ORDER BY %7")
            .arg(grouping.select(), kCode, tenths, run.table(), run.where(),
                 grouping.groupBy(QStringLiteral("ended, code, tenths")),
                 (grouping.names + QStringList{"ended", "code"}).join(", ")));
    if (!query)
        return false;
    const int groups = int(grouping.names.size());
    for (QSqlQuery& row = *query; row.next();) {
        const std::size_t at = lines.index(groupOf(row, groups));
        ReportLine& line = lines.at(groupOf(row, groups));
        const int ended = row.value(groups).toInt();
        const QString code = row.value(groups + 1).toString();
        const qint64 count = row.value(groups + 3).toLongLong();
        line.bytesSent += row.value(groups + 4).toLongLong();
        if (ended == 2) {
            line.running += count;
            continue;
        }
        line.updates += count;
        if (ended == 1) {
            line.successes += count;
            if (run.onePass()) {
                durations->resize(std::max(durations->size(), at + 1));
                (*durations)[at][row.value(groups + 2).toDouble()] += count;
            }
            continue;
        }
        if (line.failures.empty() || line.failures.back().first != code)
            line.failures.emplace_back(code, 0);
        line.failures.back().second += count;
        const QString example = row.value(groups + 5).toString();
        if (!examples->count(code) || (*examples)[code] < example)
            (*examples)[code] = example;
    }
    return true;
}

// The successful durations alone, where they are not counted with the ends.
bool readDurations(Statements& run, const Grouping& grouping, Lines& lines,
                   std::vector<Durations>* durations) {
    std::optional<QSqlQuery> query =
        run.run(QStringLiteral("SELECT %1%2 AS tenths, COUNT(*) FROM history WHERE %3 AND "
                               "outcome = 'success'%4")
                    .arg(grouping.select(), kTenths, run.where(),
                         grouping.groupBy(QStringLiteral("tenths"))));
    if (!query)
        return false;
    const int groups = int(grouping.names.size());
    for (QSqlQuery& row = *query; row.next();) {
        const std::size_t at = lines.index(groupOf(row, groups));
        durations->resize(std::max(durations->size(), at + 1));
        (*durations)[at][row.value(groups).toDouble()] += row.value(groups + 1).toLongLong();
    }
    return true;
}

// The median and the 95th percentile by nearest rank: the values at ranks ceil(n / 2) and
// ceil(95 n / 100) of the n durations.
void setPercentiles(ReportLine& line, const Durations& durations) {
    qint64 count = 0;
    for (const auto& each : durations)
        count += each.second;
    const qint64 median = (count + 1) / 2, high = (95 * count + 99) / 100;
    qint64 seen = 0;
    for (const auto& [seconds, times] : durations) {
        if (seen < median && seen + times >= median)
            line.medianSeconds = seconds;
        if (seen < high && seen + times >= high)
            line.p95Seconds = seconds;
        seen += times;
    }
}

// Failures by reason, the most frequent first (then by code).
void sortFailures(ReportLine& line) {
    std::sort(line.failures.begin(), line.failures.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
}

// The whole from its groups: the database counted each group, these are their sums.
ReportLine wholeOf(const std::vector<ReportLine>& lines, const std::vector<Durations>& durations) {
    ReportLine whole;
    std::map<QString, qint64> failures;
    Durations all;
    for (const ReportLine& line : lines) {
        whole.updates += line.updates;
        whole.successes += line.successes;
        whole.running += line.running;
        whole.bytesSent += line.bytesSent;
        for (const auto& [code, count] : line.failures)
            failures[code] += count;
    }
    for (const Durations& each : durations) {
        for (const auto& [seconds, times] : each)
            all[seconds] += times;
    }
    whole.failures.assign(failures.begin(), failures.end());
    sortFailures(whole);
    setPercentiles(whole, all);
    return whole;
}

void fillPareto(HistoryReport& report, const std::map<QString, QString>& examples) {
    const qint64 failures = report.whole.updates - report.whole.successes;
    qint64 counted = 0;
    for (const auto& [code, count] : report.whole.failures) {
        counted += count;
        report.pareto.push_back(
            {code, count, 100.0 * count / failures, 100.0 * counted / failures, examples.at(code)});
    }
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

QString reportFigure(std::optional<double> value) {
    return value ? QString::number(*value, 'f', 1) : QStringLiteral("-");
}

QString reportFailures(const ReportLine& line) {
    QStringList each;
    for (const auto& [code, count] : line.failures)
        each << QStringLiteral("%1 %2").arg(code).arg(count);
    return each.join(QStringLiteral(", "));
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
    Lines lines(report.lines);
    const Grouping grouping = groupingOf(by);
    std::map<QString, QString> examples;
    std::vector<Durations> durations;
    if (!readEnds(run, grouping, lines, &durations, &examples) ||
        (!run.onePass() && !readDurations(run, grouping, lines, &durations)))
        return std::nullopt;
    durations.resize(report.lines.size());
    for (std::size_t i = 0; i < report.lines.size(); ++i) {
        sortFailures(report.lines[i]);
        setPercentiles(report.lines[i], durations[i]);
    }
    if (by.empty()) {
        // Without groups the one line is the whole.
        report.whole = report.lines.empty() ? ReportLine() : report.lines.front();
        report.lines.clear();
    } else {
        report.whole = wholeOf(report.lines, durations);
    }
    fillPareto(report, examples);
    return report;
}

}  // namespace tarvel
