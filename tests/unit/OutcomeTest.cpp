// The order in which a station names the worst of its ports' exit statuses.
#include "status/Outcome.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(Outcome, WorseExitStatusGoesFromSuccessToInterrupted) {
    const struct {
        int a, b, worse;
    } rows[] =
        {
            {0, 0, 0},   {0, 1, 1},  {1, 0, 1},     {1, 3, 3},     {3, 1, 3},
            {3, 2, 2},   {2, 3, 2},  {2, 130, 130}, {130, 0, 130}, {130, 2, 130},
            {0, 99, 99}, {99, 3, 3},  // a status outside the table counts as an update error
        };
    for (const auto& row : rows) {
        EXPECT_EQ(worseExitStatus(ExitStatus(row.a), ExitStatus(row.b)), row.worse)
            << row.a << " and " << row.b;
    }
}

// What the window's failure box and its last outcome say, in the technician's words: the place
// where the reason has one, what to check, in English and German; never the protocol's replies.
TEST(Outcome, EveryReasonSaysWhatHappenedAndWhatToCheckInBothLanguages) {
    const struct {
        Reason reason;
        const char* english;
        const char* german;
    } rows[] = {
        {{ReasonCode::RecoveryExhausted, "No \"K!\" to the data of sector 23, block 4", 23, 4},
         "The module stopped answering and could not be brought back (sector 23, block 4). Check "
         "the cable and the module's power, then update again; if it fails again, pull the module.",
         "Das Modul antwortete nicht mehr und ließ sich nicht zurückholen (Sektor 23, Block 4). "
         "Kabel und Stromversorgung prüfen, dann erneut updaten; scheitert es wieder, das Modul "
         "ziehen."},
        {{ReasonCode::ModuleError, "The module answered \"E!\" to the write of sector 20", 20, {}},
         "The module refused the same step again and again (sector 20). Update once more; if it "
         "fails again, the module is faulty: pull it.",
         "Das Modul hat denselben Schritt immer wieder abgelehnt (Sektor 20). Noch einmal "
         "updaten; scheitert es wieder, ist das Modul defekt: ziehen."},
        {{ReasonCode::SwitchOff, "the module echoed the switch check", {}, {}},
         "The module's setup switch is OFF. Turn it to ON, then start again.",
         "Der Setup-Schalter des Moduls steht auf OFF. Auf ON stellen, dann neu starten."},
        {{ReasonCode::Cancelled, "Stopped as the program closed", {}, {}},
         "Stopped as the program was closed.",
         "Beim Schließen des Programms abgebrochen."},
    };
    for (const auto& row : rows) {
        const ReasonAdvice advice = adviceFor(row.reason);
        EXPECT_EQ(advice.english, QString::fromUtf8(row.english));
        EXPECT_EQ(advice.german, QString::fromUtf8(row.german));
    }
    // A code added without its sentences fails here.
    for (int i = 0; i < kReasonCodeCount; ++i) {
        const auto code = static_cast<ReasonCode>(i);
        const ReasonAdvice advice = adviceFor({code, QString(), 19, 0});
        SCOPED_TRACE(reasonCodeText(code).toStdString());
        EXPECT_EQ(reasonCodeFromText(reasonCodeText(code)), code);
        EXPECT_TRUE(advice.english.endsWith('.') && advice.german.endsWith('.'));
        EXPECT_NE(advice.english, advice.german);
        for (const QString& sentence : {advice.english, advice.german})
            EXPECT_FALSE(sentence.contains("K!") || sentence.contains("E!"))
                << qPrintable(sentence);
    }
}

}  // namespace
}  // namespace tarvel
