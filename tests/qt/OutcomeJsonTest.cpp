// An outcome on its way from an update process to its station: what the JSON stream writes is
// read back whole, a process that gave no outcome has a word and a reason of the one table, and
// the verdict counts it as the station's.
#include "station/OutcomeJson.h"
#include "station/StationVerdict.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <ostream>

namespace tarvel {
// A record that differs shows as its line.
void PrintTo(const OutcomeRecord& record, std::ostream* out) {
    *out << QJsonDocument(outcomeFields(record)).toJson(QJsonDocument::Compact).constData();
}

namespace test {
namespace {

// A field that the writer or the reader drops fails here, for every kind of end.
TEST(OutcomeJson, ReadsBackEveryFieldItWrites) {
    const OutcomeRecord rows[] = {
        {Outcome::Success, ReasonCode::Completed, "The module confirmed the end of the update.",
         65551, 12.955, 99.1, "/logs/2026-12-06T21-59-59_COM1.log"},
        {Outcome::Error, ReasonCode::ModuleError, "The module answered \"E!\" to sector 20", 4096,
         3.5, std::nullopt, "/logs/COM2.log"},
        {Outcome::Timeout, ReasonCode::NoAnswer, "no answer (2 rounds)", 120, 40, {}, {}},
        {Outcome::Interrupted, ReasonCode::Interrupted, "Interrupted", 1024, 0.25, 12.5, {}},
        {Outcome::Refused, ReasonCode::Usage, "--timeout 0: give seconds above 0.", 0, 0, {}, {}},
        {Outcome::Crashed, ReasonCode::Crashed, "The update's process crashed.", 0, 1.25, {}, {}},
    };
    for (const OutcomeRecord& row : rows) {
        SCOPED_TRACE(outcomeWord(row.outcome).toStdString());
        EXPECT_EQ(outcomeRecordFrom(outcomeFields(row)), row);
        OutcomeRecord withoutBytes = row;
        withoutBytes.bytesSent = 0;
        EXPECT_EQ(outcomeRecordFrom(moduleOutcomeFields(row)), withoutBytes);
    }
    // The word and the exit status come from one table: a refused command line is 2, a process
    // that crashed 1.
    const auto line = [](const OutcomeRecord& record) {
        return QJsonDocument(moduleOutcomeFields(record)).toJson(QJsonDocument::Compact);
    };
    EXPECT_EQ(line(rows[4]),
              R"({"data_line_share":null,"duration_s":0,"exit_code":2,"log":null,)"
              R"("reason":"--timeout 0: give seconds above 0.","reason_code":"usage",)"
              R"("word":"refused"})");
    EXPECT_EQ(line(rows[5]),
              R"({"data_line_share":null,"duration_s":1.25,"exit_code":1,"log":null,)"
              R"("reason":"The update's process crashed.","reason_code":"crashed",)"
              R"("word":"crashed"})");
    EXPECT_EQ(outcomeRecordFrom(QJsonObject{{"word", "exploded"}, {"reason_code", "completed"}}),
              std::nullopt);
}

TEST(StationVerdict, AProcessThatCrashedIsTheStationsFault) {
    ModuleResult crashed, failed;
    crashed.ended = {
        Outcome::Crashed, ReasonCode::Crashed, "The update's process crashed.", 0, 0, {}, {}};
    failed.ended = {Outcome::Error, ReasonCode::ModuleError, "E! to sector 20", 0, 0, {}, {}};
    EXPECT_EQ(stationVerdict({{"COM1", {crashed}}, {"COM2", {failed}}}).first.toStdString(),
              "0 of 2 passed: pull COM2. Station not set up on COM1 (check the port, its adapter "
              "and cable, the image folder).");
}

}  // namespace
}  // namespace test
}  // namespace tarvel
