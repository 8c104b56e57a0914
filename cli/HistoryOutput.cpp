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

// A file's name cut at its start keeps its end, where an image's kind and version are
// (…SAT-2.00.8.bin); a sentence cut at its end keeps its start.
QString cut(const QString& text, qsizetype width, ColumnKind kind) {
    if (text.size() <= width)
        return text;
    return kind == ColumnKind::Path ? kCut + text.right(width - 1) : text.left(width - 1) + kCut;
}

// Each row as a block of "Header: value" lines, a blank line between rows: every column in full
// where a table of them would be wider than the terminal.
QString historyBlocks(const std::vector<HistoryRow>& rows,
                      const std::vector<const HistoryColumn*>& columns) {
    qsizetype width = 0;
    for (const HistoryColumn* column : columns)
        width = std::max(width, qsizetype(qstrlen(column->header)) + 1);
    QString text;
    for (const HistoryRow& row : rows) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        for (const HistoryColumn* column : columns) {
            text += (QLatin1String(column->header) + QLatin1Char(':')).leftJustified(width + 1) +
                    shownText(column->text(row)) + QLatin1Char('\n');
        }
    }
    return text;
}

// Every column with --wide; else those for the terminal, and the station's from the line's
// history, which holds many.
std::vector<const HistoryColumn*> shownColumns(const TableLayout& layout) {
    std::vector<const HistoryColumn*> columns;
    for (const HistoryColumn& column : historyColumns()) {
        if (layout.wide || column.inTerminal ||
            (layout.stations && qstrcmp(column.name, "station") == 0))
            columns.push_back(&column);
    }
    return columns;
}

using Columns = std::vector<const HistoryColumn*>;

// The header's cells and each row's, as shown, in full.
std::vector<QStringList> tableCells(const std::vector<HistoryRow>& rows, const Columns& columns,
                                    const TableLayout& layout) {
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
    return lines;
}

qsizetype tableWidth(const std::vector<qsizetype>& widths) {
    qsizetype sum = kGap * qsizetype(widths.size() - 1);
    for (qsizetype width : widths)
        sum += width;
    return sum;
}

// Too wide: the widest column that may be cut gives a character at a time, down to its
// header's width.
void narrow(std::vector<qsizetype>& widths, const Columns& columns, int width) {
    while (width > 0 && tableWidth(widths) > width) {
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
}

// The lines, each cell cut to its column's width and aligned in it.
QString tableText(const std::vector<QStringList>& lines, const std::vector<qsizetype>& widths,
                  const Columns& columns) {
    QString text;
    for (const QStringList& line : lines) {
        QString out;
        for (size_t at = 0; at < columns.size(); ++at) {
            const QString value = cut(line[at], widths[at], columns[at]->kind);
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

}  // namespace

QString historyTable(const std::vector<HistoryRow>& rows, const TableLayout& layout) {
    const Columns columns = shownColumns(layout);
    const std::vector<QStringList> lines = tableCells(rows, columns, layout);
    std::vector<qsizetype> widths(columns.size(), 0);
    for (const QStringList& line : lines) {
        for (size_t at = 0; at < columns.size(); ++at)
            widths[at] = std::max(widths[at], line[at].size());
    }
    if (layout.wide && layout.width > 0 && tableWidth(widths) > layout.width)
        return historyBlocks(rows, columns);
    narrow(widths, columns, layout.width);
    return tableText(lines, widths, columns);
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
