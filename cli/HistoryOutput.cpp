#include "cli/HistoryOutput.h"

#include "platform/ShownText.h"
#include "record/HistoryColumns.h"
#include "record/HistoryCsv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace tarvel {

namespace {

constexpr int kGap = 2;
const QString kCut = QStringLiteral("…");

// Names and paths may be cut to fit; the time, kind, outcome and figures never.
bool mayBeCut(const HistoryColumn& column) {
    return column.kind == ColumnKind::Path ||
           (column.kind == ColumnKind::Text && qstrcmp(column.name, "kind") != 0);
}

// A name cut in its middle keeps what tells most: an image's kind and version, a log's date and
// port, a device's adapter.
QString cut(const QString& text, qsizetype width) {
    if (text.size() <= width)
        return text;
    const qsizetype head = (width - 1) / 2;
    return text.left(head) + kCut + text.right(width - 1 - head);
}

}  // namespace

QString historyTable(const std::vector<HistoryRow>& rows, const TableLayout& layout) {
    std::vector<const HistoryColumn*> columns;
    for (const HistoryColumn& column : historyColumns()) {
        if (layout.wide || column.inTerminal)
            columns.push_back(&column);
    }
    std::vector<QStringList> lines;
    if (layout.header) {
        lines.emplace_back();
        for (const HistoryColumn* column : columns)
            lines.back() << QString::fromLatin1(column->header).toUpper();
    }
    for (const HistoryRow& row : rows) {
        lines.emplace_back();
        for (const HistoryColumn* column : columns)
            lines.back() << shownText(layout.wide ? column->text(row) : column->display(row));
    }
    std::vector<qsizetype> widths(columns.size(), 0);
    for (const QStringList& line : lines) {
        for (size_t at = 0; at < columns.size(); ++at)
            widths[at] = std::max(widths[at], line[at].size());
    }
    // Too wide: the widest column that may be cut gives a character at a time, down to its
    // header's width.
    auto total = [&widths] {
        qsizetype sum = kGap * qsizetype(widths.size() - 1);
        for (qsizetype width : widths)
            sum += width;
        return sum;
    };
    while (layout.width > 0 && total() > layout.width) {
        std::optional<size_t> widest;
        for (size_t at = 0; at < columns.size(); ++at) {
            const qsizetype least =
                std::max<qsizetype>(qstrlen(columns[at]->header), kCut.size() + 4);
            if (mayBeCut(*columns[at]) && widths[at] > least &&
                (!widest || widths[at] > widths[*widest]))
                widest = at;
        }
        if (!widest)
            break;
        --widths[*widest];
    }
    QString text;
    for (const QStringList& line : lines) {
        QString out;
        for (size_t at = 0; at < columns.size(); ++at) {
            const QString value = cut(line[at], widths[at]);
            const bool last = at + 1 == columns.size();
            if (columns[at]->rightAligned())
                out += value.rightJustified(widths[at]);
            else
                out += last ? value : value.leftJustified(widths[at]);
            if (!last)
                out += QString(kGap, QLatin1Char(' '));
        }
        text += out + QLatin1Char('\n');
    }
    return text;
}

QByteArray historyJson(const std::vector<HistoryRow>& rows) {
    QJsonArray array;
    for (const HistoryRow& row : rows) {
        QJsonObject object{{"schema", kHistoryJsonSchema}};
        for (const HistoryColumn& column : historyColumns())
            object.insert(QLatin1String(column.name), column.json(row));
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray historyCsv(const std::vector<HistoryRow>& rows) {
    QString text = historyCsvHeader();
    for (const HistoryRow& row : rows)
        text += historyCsvLine(row);
    return text.toUtf8();
}

}  // namespace tarvel
