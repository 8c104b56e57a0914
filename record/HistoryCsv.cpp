#include "record/HistoryCsv.h"

#include "record/HistoryColumns.h"
#include "status/Outcome.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace tarvel {

namespace {

// The CSV's header: the former file's, as spreadsheets made for it expect it, then the columns
// added since at its end.
const QStringList& columns() {
    static const QStringList names = [] {
        QStringList list;
        for (const HistoryColumn* column : csvColumns())
            list << QLatin1String(column->name);
        return list;
    }();
    return names;
}

// The former file's own columns, which an import reads.
const QStringList& formerColumns() {
    static const QStringList names = columns().mid(0, kFormerCsvColumns);
    return names;
}

// Whether a spreadsheet would take the cell for a formula and run it (=HYPERLINK(...) in
// another station's reason): it starts with =, +, -, @, a tab or a carriage return.
bool looksLikeFormula(const QString& value) {
    return !value.isEmpty() && QStringLiteral("=+-@\t\r").contains(value.front());
}

// Quoted when it holds a separator, a quote or a line break. A cell that looks like a formula
// gets a ' before it, as spreadsheet-safe exports do, so that it is shown as the text it is.
QString field(const QString& value) {
    const bool formula = looksLikeFormula(value);
    if (!formula && !value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = formula ? QLatin1Char('\'') + value : value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString historyCsvHeader() {
    return columns().join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString csvLine(const QStringList& fields) {
    QStringList quoted;
    for (const QString& value : fields)
        quoted << field(value);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString historyCsvLine(const HistoryRow& row) {
    QStringList fields;
    for (const HistoryColumn* column : csvColumns())
        fields << column->text(row);
    return csvLine(fields);
}

namespace {

struct CsvRecord {
    int firstLine = 0;
    int lastLine = 0;
    QStringList fields;
    bool unclosedQuote = false;
};

std::vector<CsvRecord> recordsWithLines(const QString& text) {
    std::vector<CsvRecord> result;
    CsvRecord record{1, 1, {}, false};
    QString value;
    bool quoted = false;
    int line = 1;
    auto next = [&text](qsizetype at) { return at + 1 < text.size() ? text.at(at + 1) : QChar(); };
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        const bool lineEnd =
            c == QLatin1Char('\n') || (c == QLatin1Char('\r') && next(at) != QLatin1Char('\n'));
        if (quoted) {
            if (c != QLatin1Char('"'))
                value += c;
            else if (next(at) == QLatin1Char('"'))
                value += text.at(++at);
            else
                quoted = false;
            if (lineEnd)
                ++line;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record.fields << value;
            value.clear();
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && next(at) == QLatin1Char('\n'))
                ++at;
            record.fields << value;
            record.lastLine = line;
            result.push_back(record);
            ++line;
            record = {line, line, {}, false};
            value.clear();
        } else {
            value += c;
        }
    }
    if (!record.fields.isEmpty() || !value.isEmpty() || quoted) {
        record.fields << value;
        record.lastLine = line;
        record.unclosedQuote = quoted;
        result.push_back(record);
    }
    return result;
}

// Why a record cannot be imported; empty when it can.
QString recordProblem(const CsvRecord& record) {
    if (record.unclosedQuote)
        return QStringLiteral("a quote that is never closed");
    // The former file's twelve fields, or the export's own with the columns added since.
    if (record.fields.size() != formerColumns().size() && record.fields.size() != columns().size())
        return QStringLiteral("%1 fields, not %2")
            .arg(record.fields.size())
            .arg(formerColumns().size());
    if (record.fields.join(QString()).contains(QChar::ReplacementCharacter))
        return QStringLiteral("bytes that are no UTF-8 text");
    const QString& started = record.fields[historyColumn("started").csvPosition];
    if (!QDateTime::fromString(started, Qt::ISODate).isValid())
        return QStringLiteral("its start \"%1\" is no time").arg(started);
    const QString& outcome = record.fields[historyColumn("outcome").csvPosition];
    if (!outcomeWords().contains(outcome))
        return QStringLiteral("its outcome \"%1\" is none of this program's").arg(outcome);
    return QString();
}

HistoryRow rowOf(const QStringList& fields) {
    HistoryRow row;
    row.kind = kUpdateKind;  // the file held updates only
    // Each field into its column by the one table of columns; an empty one is not known.
    const std::vector<const HistoryColumn*> inFile = csvColumns();
    for (qsizetype at = 0; at < fields.size() && at < qsizetype(inFile.size()); ++at)
        inFile[at]->assign(row, fields[at].isEmpty() ? QVariant() : QVariant(fields[at]));
    // The program that wrote the file is gone: nothing of it still runs.
    if (outcomeFromWord(row.outcome) == Outcome::Running)
        row.outcome = outcomeWord(Outcome::Unfinished);
    return row;
}

// Text has no control characters but tab and line ends: a file of random bytes has many.
bool isText(const QByteArray& bytes) {
    return std::none_of(bytes.begin(), bytes.end(), [](char byte) {
        const auto code = static_cast<unsigned char>(byte);
        return (code < 0x20 && code != '\t' && code != '\n' && code != '\r') || code == 0x7F;
    });
}

}  // namespace

std::vector<QStringList> csvRecords(const QString& text) {
    std::vector<QStringList> result;
    for (const CsvRecord& record : recordsWithLines(text))
        result.push_back(record.fields);
    return result;
}

HistoryCsvImport readHistoryCsv(const QByteArray& text) {
    HistoryCsvImport read;
    if (!isText(text)) {
        read.refusal = QStringLiteral("it is not text");
        return read;
    }
    QString decoded = QString::fromUtf8(text);
    if (decoded.startsWith(QChar::ByteOrderMark))
        decoded.remove(0, 1);
    for (const CsvRecord& record : recordsWithLines(decoded)) {
        if (record.fields == formerColumns() || record.fields == QStringList{QString()})
            continue;
        ++read.records;
        const QString problem = recordProblem(record);
        if (problem.isEmpty()) {
            read.rows.push_back(rowOf(record.fields));
            continue;
        }
        read.bad << (record.firstLine == record.lastLine
                         ? QStringLiteral("line %1: %2").arg(record.firstLine).arg(problem)
                         : QStringLiteral("lines %1 to %2: %3")
                               .arg(record.firstLine)
                               .arg(record.lastLine)
                               .arg(problem));
    }
    if (read.bad.size() * 2 > read.records) {
        read.refusal =
            QStringLiteral("%1 of its %2 records are bad").arg(read.bad.size()).arg(read.records);
        read.rows.clear();
    }
    return read;
}

}  // namespace tarvel
