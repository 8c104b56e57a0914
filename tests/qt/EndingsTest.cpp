// Every way an update ends, driven by the module model: a reason code of its own and a sentence
// that names the place, in the JSON stream's outcome and the log's Outcome line, every box in the
// log, the exit status, and a duration that ends before any box waits for the technician; the
// clock stopped there too, and the window's last outcome names its time and the place.
#include "cli/JsonStream.h"
#include "record/UpdateRecord.h"
#include "tests/support/Rig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace tarvel::test {
namespace {

using Stop = UpdateSession::StopReason;

struct Ending {
    const char* name;
    sim::ModuleConfig module;
    std::function<void(ModuleRig&)> arrange;
    const char* word;  // the outcome's word, and the command line's exit status for it
    int exitStatus;
    const char* code;
    const char* place;       // a part of the sentence
    double within = 3600;    // seconds of the exchange's own time, at most
    const char* where = "";  // the place in the technician's sentence of the error box
};

void stopAt(ModuleRig& rig, double at, Stop how) {
    rig.time.at(at, [&rig, how] { rig.session().stop(how); });
}

sim::ModuleConfig silentAt(sim::ModuleConfig config, int reply) {
    config.silentAtReply = reply;
    return config;
}

TEST(Endings, EachSaysWhyAndWhere) {
    sim::ModuleConfig switchOff = announcingModule(), unknown = announcingModule("ZZ"),
                      rejecting = probedModule("DVBSAT");
    switchOff.switchOffRounds = 1000;
    rejecting.rejectedBlock = 3;
    const auto withImage = [](const QByteArray& bytes) {
        return [bytes](ModuleRig& rig) { rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), bytes); };
    };
    const auto withAckImage = [](ModuleRig& rig) {
        rig.files.add(Rig::imagePath("DVB-SAT-1.bin"), ackImage(1, [](int, int) { return true; }));
    };
    const Ending endings[] = {
        {"switch off", switchOff, [](ModuleRig& rig) { stopAt(rig, 30, Stop::Timeout); }, "timeout",
         3, "switch-off", "echoed the switch check, its setup switch is OFF"},
        {"no answer", silentAt(announcingModule(), 0),
         [](ModuleRig& rig) { stopAt(rig, 40, Stop::Timeout); }, "timeout", 3, "no-answer",
         "no answer from the module to the switch check or the type probes (2 rounds)"},
        {"unknown type", unknown, [](ModuleRig& rig) { stopAt(rig, 40, Stop::Interrupted); },
         "interrupted", 130, "unknown-module",
         "neither announced itself nor answered a type probe (2 rounds)"},
        {"no image",
         announcingModule(),
         {},
         "no-image",
         2,
         "no-image",
         "No firmware image DVB-GEN*.bin was found in /images"},
        {"refused image", announcingModule(), withImage(QByteArray(1000, 'x')), "refused", 2,
         "image-refused", "/images/DVB-GEN-1.bin cannot be used: its length of 1000 bytes"},
        {"unapproved image", announcingModule(),
         [](ModuleRig& rig) {
             rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(1));
             rig.files.add(Rig::imagePath("SHA256SUMS"), QByteArray(64, 'a') + "  DVB-GEN-1.bin\n");
         },
         "no-image", 2, "not-approved", "No approved firmware image DVB-GEN*.bin"},
        {"E! to a block", rejecting, withAckImage, "error", 1, "module-error",
         "The module answered \"E!\" to the data of sector 19, block 3, 3 times in a row.", 30,
         "(sector 19, block 3)"},
        {"recovery exhausted, acknowledged", silentAt(probedModule("DVBSAT"), 4), withAckImage,
         "error", 1, "recovery-exhausted",
         "No \"K!\" to the data of sector 19, block 1 within 2 s, and no answer to the recovery "
         "in 1",
         3600, "(sector 19, block 1)"},
        {"recovery exhausted, request-driven", silentAt(announcingModule(), 1),
         withImage(requestImage(1)), "error", 1, "recovery-exhausted",
         "4 time-outs, 3 automatic restarts; the last: no request for sector 0 within 4 s.", 3600,
         "(sector 0)"},
        {"port lost mid-sector", announcingModule(),
         [](ModuleRig& rig) {
             rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(1));
             rig.serial.lineBytesPerSecond = 11520;
             rig.intercept = [&rig](const QByteArray& bytes) {
                 if (bytes.size() == 16384 && rig.countSent(bytes) == 1)  // the second block
                     rig.time.after(0.5, [&rig] { rig.serial.vanish(); });
                 return false;
             };
         },
         "error", 1, "port-lost",
         "Com1 (/dev/fake1) was lost during sector 0, block 1: "
         "device removed.",
         3600, "(sector 0, block 1)"},
        {"port busy", announcingModule(),
         [](ModuleRig& rig) {
             rig.serial.vanish();
             rig.serial.presentPaths.insert(Rig::pathOf(1));
             rig.serial.busyPaths.insert(Rig::pathOf(1));
         },
         "error", 1, "port-unavailable", "Com1 (/dev/fake1) cannot be opened: /dev/fake1 is busy"},
        {"time-out mid-sector", announcingModule(),
         [&withImage](ModuleRig& rig) {
             withImage(requestImage(1))(rig);
             rig.serial.lineBytesPerSecond = 11520;
             stopAt(rig, 3.0, Stop::Timeout);
         },
         "timeout", 3, "timeout", "during sector 0, block 0: the module may hold a partial image"},
        {"Ctrl+C before the image", announcingModule(),
         [&withImage](ModuleRig& rig) {
             withImage(requestImage(1))(rig);
             stopAt(rig, 1.5, Stop::Interrupted);
         },
         "interrupted", 130, "interrupted",
         "during the request for sector 0; nothing of the image was sent."},
        {"the port pulled and plugged in again", announcingModule(),
         [&withImage](ModuleRig& rig) {
             withImage(requestImage(1))(rig);
             rig.serial.vanish();
             rig.serial.presentPaths.insert(Rig::pathOf(1));
         },
         "success", 0, "completed", "The module confirmed the end of the update."},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        ModuleRig rig(ending.module);
        if (ending.arrange)
            ending.arrange(rig);
        // The technician takes a minute to close each box; the exchange's time ends before.
        double firstBoxAt = -1;
        QString clockAtBox;
        rig.dialogs.whileShown = [&rig, &firstBoxAt, &clockAtBox] {
            if (firstBoxAt < 0) {
                firstBoxAt = rig.time.seconds();
                clockAtBox = rig.status.elapsed;
            }
            rig.time.advance(60);
        };
        QTemporaryDir state;
        UpdateRecord log(state.path(), "V1.0.0");
        char* text = nullptr;
        size_t size = 0;
        std::FILE* out = open_memstream(&text, &size);
        {
            JsonStream json(out, "1.0.0");
            rig.session().subscribe(log);
            rig.session().subscribe(json);
            const double started = rig.time.seconds();
            rig.session().runUpdate();
            rig.session().unsubscribe(json);
            rig.session().unsubscribe(log);
            std::fclose(out);
            const QJsonObject outcome =
                QJsonDocument::fromJson(QByteArray(text).trimmed().split('\n').last()).object();
            std::free(text);
            EXPECT_EQ(outcome["word"], ending.word);
            EXPECT_EQ(outcome["exit_code"], ending.exitStatus);
            EXPECT_EQ(outcome["reason_code"], ending.code);
            EXPECT_TRUE(outcome["reason"].toString().contains(ending.place))
                << qPrintable(outcome["reason"].toString());
            EXPECT_LE(outcome["duration_s"].toDouble(), ending.within);
            if (firstBoxAt >= 0) {
                EXPECT_NEAR(outcome["duration_s"].toDouble(), firstBoxAt - started, 0.001);
                EXPECT_EQ(rig.status.elapsed, clockAtBox) << "the clock ran on behind the box";
            }
            // A success ends where the clock stopped, not after its 2 + 3 s on the screen.
            if (QString(ending.word) == "success") {
                EXPECT_NEAR(rig.time.seconds() - started - outcome["duration_s"].toDouble(), 5.0,
                            0.01);
            }
        }
        // Where the clock ran, the last outcome gives its time.
        if (rig.status.elapsed != "0:00:00") {
            EXPECT_TRUE(rig.status.lastOutcome.contains(" " + rig.status.elapsed + ": ") ||
                        rig.status.lastOutcome.contains(" " + rig.status.elapsed + "."))
                << qPrintable(rig.status.lastOutcome + " / " + rig.status.elapsed);
        }
        if (*ending.where) {
            ASSERT_FALSE(rig.dialogs.details.isEmpty());
            EXPECT_TRUE(rig.dialogs.details.last().contains(ending.where) &&
                        rig.status.lastOutcome.contains(ending.where))
                << qPrintable(rig.dialogs.details.last());
        }
        ASSERT_EQ(log.waitUntilWritten(5000), "");
        const QString logged = QString::fromUtf8(readFile(log.lastLog()));
        const QString outcomeLine = logged.section("\nOutcome: ", 1);
        EXPECT_TRUE(outcomeLine.contains(QStringLiteral("; reason %1: ").arg(ending.code)) &&
                    outcomeLine.contains(ending.place))
            << qPrintable(outcomeLine);
        EXPECT_EQ(logged.count(" MB  "), rig.dialogs.shown.size());
        for (const ShownMessage& box : rig.dialogs.shown)
            EXPECT_TRUE(logged.contains(" MB  " + box.title + " | ")) << qPrintable(box.title);
    }
}

}  // namespace
}  // namespace tarvel::test
