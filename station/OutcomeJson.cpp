#include "station/OutcomeJson.h"

#include <QJsonValue>

#include <cmath>

namespace tarvel {

namespace {

// Each key once: the writer and the reader both go by these.
const QLatin1String kWord("word");
const QLatin1String kExitCode("exit_code");
const QLatin1String kReasonCode("reason_code");
const QLatin1String kReason("reason");
const QLatin1String kBytesSent("bytes_sent");
const QLatin1String kDuration("duration_s");
const QLatin1String kBytesPerSecond("bytes_per_second");
const QLatin1String kDataLineShare("data_line_share");
const QLatin1String kLog("log");

double rounded(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

}  // namespace

bool OutcomeRecord::operator==(const OutcomeRecord& other) const {
    return outcome == other.outcome && code == other.code && reason == other.reason &&
           bytesSent == other.bytesSent && seconds == other.seconds &&
           dataLineShare == other.dataLineShare && log == other.log;
}

QJsonObject moduleOutcomeFields(const OutcomeRecord& record) {
    return {
        {kWord, outcomeWord(record.outcome)},
        {kExitCode, exitStatusOf(record.outcome)},
        {kReasonCode, reasonCodeText(record.code)},
        {kReason, record.reason},
        {kDuration, rounded(record.seconds, 3)},
        {kDataLineShare,
         record.dataLineShare ? QJsonValue(rounded(*record.dataLineShare, 1)) : QJsonValue()},
        {kLog, record.log.isEmpty() ? QJsonValue() : QJsonValue(record.log)},
    };
}

QJsonObject outcomeFields(const OutcomeRecord& record) {
    QJsonObject fields = moduleOutcomeFields(record);
    fields.insert(kBytesSent, static_cast<double>(record.bytesSent));
    fields.insert(kBytesPerSecond, record.seconds > 0
                                       ? QJsonValue(rounded(record.bytesSent / record.seconds, 1))
                                       : QJsonValue());
    return fields;
}

std::optional<OutcomeRecord> outcomeRecordFrom(const QJsonObject& fields) {
    const std::optional<Outcome> outcome = outcomeFromWord(fields.value(kWord).toString());
    const std::optional<ReasonCode> code = reasonCodeFromText(fields.value(kReasonCode).toString());
    if (!outcome || !code)
        return std::nullopt;
    OutcomeRecord record;
    record.outcome = *outcome;
    record.code = *code;
    record.reason = fields.value(kReason).toString();
    record.bytesSent = fields.value(kBytesSent).toInteger();
    record.seconds = fields.value(kDuration).toDouble();
    if (const QJsonValue share = fields.value(kDataLineShare); share.isDouble())
        record.dataLineShare = share.toDouble();
    record.log = fields.value(kLog).toString();
    return record;
}

}  // namespace tarvel
