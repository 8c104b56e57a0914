#include "cli/HistoryOutput.h"

#include "record/HistoryCsv.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace tarvel {

QString historyTable(const std::vector<HistoryRow>& rows) {
    if (rows.empty())
        return QStringLiteral("The history holds no update or test yet.\n");
    std::vector<QStringList> lines = {
        {"STARTED", "KIND", "PORT", "MODULE", "IMAGE", "BYTES", "SECONDS", "OUTCOME", "LOG"}};
    for (const HistoryRow& row : rows) {
        lines.push_back({row.started, row.kind, row.port, row.module,
                         QFileInfo(row.image).fileName(), QString::number(row.bytesSent),
                         QString::number(row.seconds, 'f', 1), row.outcome, row.log});
    }
    std::vector<qsizetype> widths(lines.front().size(), 0);
    for (const QStringList& line : lines) {
        for (qsizetype column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line[column].size());
    }
    QString text;
    for (const QStringList& line : lines) {
        QString out;
        for (qsizetype column = 0; column + 1 < line.size(); ++column)
            out += line[column].leftJustified(widths[column] + 2);
        text += out + line.last() + QLatin1Char('\n');
    }
    return text;
}

QByteArray historyJson(const std::vector<HistoryRow>& rows) {
    QJsonArray array;
    for (const HistoryRow& row : rows) {
        array.append(QJsonObject{
            {"started", row.started},
            {"finished", row.finished.isEmpty() ? QJsonValue() : QJsonValue(row.finished)},
            {"kind", row.kind},
            {"port", row.port},
            {"device", row.device},
            {"module", row.module},
            {"image", row.image},
            {"image_size", row.imageSize ? QJsonValue(*row.imageSize) : QJsonValue()},
            {"image_sha256", row.imageSha256},
            {"bytes_sent", row.bytesSent},
            {"duration_s", row.seconds},
            {"outcome", row.outcome},
            {"log", row.log.isEmpty() ? QJsonValue() : QJsonValue(row.log)},
        });
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
