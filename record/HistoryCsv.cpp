#include "record/HistoryCsv.h"

#include "record/HistoryColumns.h"

#include <QStringList>

namespace tarvel {

namespace {

// The former file's header, as spreadsheets made for it expect it.
const QStringList& columns() {
    static const QStringList names = [] {
        QStringList list;
        for (const HistoryColumn* column : csvColumns())
            list << QLatin1String(column->name);
        return list;
    }();
    return names;
}

// Quoted when it holds a separator, a quote or a line break.
QString field(const QString& value) {
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
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

std::vector<QStringList> csvRecords(const QString& text) {
    std::vector<QStringList> result;
    QStringList record;
    QString value;
    bool quoted = false;
    auto next = [&text](qsizetype at) { return at + 1 < text.size() ? text.at(at + 1) : QChar(); };
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (quoted) {
            if (c != QLatin1Char('"'))
                value += c;
            else if (next(at) == QLatin1Char('"'))
                value += text.at(++at);
            else
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << value;
            value.clear();
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && next(at) == QLatin1Char('\n'))
                ++at;
            result.push_back(record << value);
            record.clear();
            value.clear();
        } else {
            value += c;
        }
    }
    if (!record.isEmpty() || !value.isEmpty())
        result.push_back(record << value);
    return result;
}

std::vector<HistoryRow> parseHistoryCsv(const QByteArray& text) {
    std::vector<HistoryRow> rows;
    for (const QStringList& fields : csvRecords(QString::fromUtf8(text))) {
        if (fields == columns() || fields == QStringList{QString()})
            continue;
        HistoryRow row;
        row.kind = kUpdateKind;  // the file held updates only
        row.started = fields.value(0);
        row.finished = fields.value(1);
        row.port = fields.value(2);
        row.device = fields.value(3);
        row.module = fields.value(4);
        row.image = fields.value(5);
        bool known = false;
        const qint64 size = fields.value(6).toLongLong(&known);
        if (known)
            row.imageSize = size;
        row.imageSha256 = fields.value(7);
        row.bytesSent = fields.value(8).toLongLong();
        row.seconds = fields.value(9).toDouble();
        row.outcome = fields.value(10);
        row.log = fields.value(11);
        rows.push_back(row);
    }
    return rows;
}

}  // namespace tarvel
