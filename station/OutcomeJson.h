#pragma once

#include "status/Outcome.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace tarvel {

// How one exchange ended, as the JSON stream's "outcome" line tells it and a station reads it
// back from each update process and passes it on in its own line. The word and the exit status
// both come from the outcome, so the two can never disagree.
struct OutcomeRecord {
    Outcome outcome = Outcome::Error;
    ReasonCode code = ReasonCode::Completed;
    QString reason;  // the reason's sentence for the log
    qint64 bytesSent = 0;
    double seconds = 0;                   // the exchange's own duration
    std::optional<double> dataLineShare;  // per cent of the line rate; none without a figure
    QString log;                          // the log's path; empty: none

    bool operator==(const OutcomeRecord& other) const;
};

// The "outcome" line's fields: word, exit_code, reason_code, reason, bytes_sent, duration_s,
// bytes_per_second, data_line_share (null without a figure) and log (null without one).
QJsonObject outcomeFields(const OutcomeRecord& record);
// The same without the bytes, as the station's line gives each module's outcome.
QJsonObject moduleOutcomeFields(const OutcomeRecord& record);
// The record those fields tell; nothing when the word or the reason code is none of this
// program's (a line from another program, or cut short).
std::optional<OutcomeRecord> outcomeRecordFrom(const QJsonObject& fields);

}  // namespace tarvel
