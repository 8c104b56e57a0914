// The update driver: the setup-switch check, identification by announcement and by probing, the
// hand-over to a transfer, and every status the technician sees on the way.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

constexpr quint32 kBlackWord = 0x000000, kRed = 0x0000FF, kGreen = 0x00C000;

// Images for every module kind, each different, so the flash tells which one was sent.
void addEveryImage(Rig& rig) {
    rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(1));
    for (int i = 0; i < 7; ++i) {
        rig.files.add(Rig::imagePath(kProbedTypes[i].image),
                      ackImage(1, [i](int, int block) { return block == i; }));
    }
}

struct Identification {
    sim::ModuleConfig module;
    QByteArray code;  // how the module made itself known
};

std::vector<Identification> everyModule() {
    std::vector<Identification> rows;
    for (const QByteArray& announcement : kAnnouncements)
        rows.push_back({announcingModule(announcement), announcement});
    for (const ProbedType& type : kProbedTypes)
        rows.push_back({probedModule(type.code), type.code});
    // "R!" counts anywhere in what came after the probe.
    sim::ModuleConfig chatty = probedModule("DVBSCO");
    chatty.garbageAtReply = 0;
    rows.push_back({chatty, "DVBSCO"});
    return rows;
}

TEST(Identification, EveryModuleGetsItsOwnImageByItsOwnTransfer) {
    for (const Identification& row : everyModule()) {
        ModuleRig rig(row.module);
        addEveryImage(rig);
        SCOPED_TRACE(row.code.toStdString());
        ASSERT_EQ(rig.updater().StartUpdate(), EngineOutcome::Success);
        const QList<QByteArray> sent = rig.sent();
        ASSERT_GE(sent.size(), 3);
        EXPECT_EQ(sent[0], kSwitchCheck);
        // Twelve "X", 0.2 s for an echo, 1 s for the announcement: then the next step.
        EXPECT_NEAR(rig.writes[1].at - rig.writes[0].at, 1.2, 1e-6);
        EXPECT_EQ(rig.updater().identifiedAs(), row.code);
        QString image = "DVB-GEN-1.bin";
        if (row.code.size() == 2) {
            EXPECT_EQ(sent[1], QByteArray("OK\x01", 3));
            EXPECT_TRUE(rig.module.flash() == rig.files.files[Rig::imagePath(image)].contents);
        } else {
            // "q", ten quiet seconds, then the probes in their order, half a second apart.
            EXPECT_EQ(sent[1], "q");
            int probes = 0;
            while (kProbedTypes[probes].code != row.code) {
                EXPECT_EQ(sent[2 + probes], kProbedTypes[probes].code.repeated(5));
                ++probes;
            }
            EXPECT_EQ(sent[2 + probes], row.code.repeated(5));
            EXPECT_EQ(sent[3 + probes], row.code);  // the type code opens the transfer
            EXPECT_NEAR(rig.writes[2].at - rig.writes[1].at, 10.0, 1e-6);
            EXPECT_NEAR(rig.writes[2 + probes].at - rig.writes[2].at, 0.5 * probes, 1e-6);
            image = kProbedTypes[probes].image;
            EXPECT_TRUE(rig.module.flash() ==
                        rig.files.files[Rig::imagePath(image)].contents.mid(64));
        }
        EXPECT_EQ(rig.status.fileName, Rig::imagePath(image));
    }
}

// A production line's next module (station --repeat): while the module updated before still
// answers, nothing is sent to it but the identification; once a whole round has gone unanswered
// (here the third: the module taken off), the next module to answer is updated.
TEST(Identification, NextModuleOnlyWaitsForARoundWithoutAnAnswer) {
    const struct {
        bool nextModuleOnly;
        int roundOfTheUpdate;
    } rows[] = {{false, 1}, {true, 4}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.nextModuleOnly);
        ModuleRig rig(announcingModule("UP"));
        addEveryImage(rig);
        int rounds = 0;
        rig.intercept = [&rounds](const QByteArray& bytes) {
            rounds += bytes == kSwitchCheck;
            return rounds == 3;  // taken off: the module hears nothing of the third round
        };
        rig.updater().setNextModuleOnly(row.nextModuleOnly);
        ASSERT_EQ(rig.updater().StartUpdate(), EngineOutcome::Success);
        const QList<QByteArray> sent = rig.sent();
        const qsizetype count = sent.indexOf(QByteArray("OK\x01", 3));
        ASSERT_GE(count, 0);
        EXPECT_EQ(sent.mid(0, count).count(kSwitchCheck), row.roundOfTheUpdate);
        EXPECT_TRUE(rig.module.flash() ==
                    rig.files.files[Rig::imagePath("DVB-GEN-1.bin")].contents);
    }
}

TEST(Identification, AnnouncementCountsOnlyAtTheStartAndWithinTheSecond) {
    struct Row {
        QByteArray announcement;
        double replyDelay;
        QByteArray nextWrite;  // after the twelve "X"
    };
    const Row rows[] = {{"UP", 1.15, QByteArray("OK\x01", 3)},
                        {"UP", 1.25, "q"},
                        {"up", 0.01, "q"},
                        {"xU", 0.01, "q"}};
    for (const Row& row : rows) {
        sim::ModuleConfig config = announcingModule(row.announcement);
        config.replyDelay = row.replyDelay;
        ModuleRig rig(config);
        addEveryImage(rig);
        rig.time.at(20.0, [&rig] { rig.updater().cancel(); });
        rig.updater().StartUpdate();
        ASSERT_GE(rig.sent().size(), 2);
        EXPECT_EQ(rig.sent()[1], row.nextWrite)
            << row.announcement.constData() << " after " << row.replyDelay << " s";
    }
}

TEST(Identification, UnansweredPassesRepeatWhileTheClockCountsAndLateAnswersAreDropped) {
    ModuleRig rig;
    // An "R!" in the quiet ten seconds after "q" answers no probe.
    rig.intercept = [&rig](const QByteArray& bytes) {
        if (bytes == "q")
            rig.reply("R!", 5.0);
        return true;
    };
    rig.time.at(31.0, [&rig] { rig.updater().cancel(); });
    EXPECT_EQ(rig.updater().StartUpdate(), EngineOutcome::Cancelled);
    // Each pass takes 0.2 + 1 + 10 + 7 x 0.5 = 14.7 s.
    EXPECT_EQ(rig.countSent(kSwitchCheck), 3);
    EXPECT_NEAR(rig.sentAt(kSwitchCheck, 1) - rig.sentAt(kSwitchCheck, 0), 14.7, 1e-6);
    EXPECT_EQ(rig.countSent("DVBSAT"), 0);
    EXPECT_EQ(rig.status.elapsed, "0:00:29");  // from the first pass on, never reset
}

// An update that cannot go on says why in one box, at once, and returns to the ready state with
// the clock stopped: with no port (none chosen, or the chosen one gone) before a byte is sent,
// with no image after the switch check. A status shown again as it stands is no news.
TEST(Identification, WhatStopsAnUpdateIsNamedInOneBoxThenTheReadyState) {
    struct Row {
        const char* what;
        EngineOutcome outcome;
        QList<QByteArray> sent;
        double endsAt;
        ShownMessage box;
    };
    const auto noImage = [](const QString& text) {
        return ShownMessage{text, "Update Error", MessageIcon::Critical};
    };
    // clang-format off
    const Row rows[] = {
        {"no port", EngineOutcome::NoPort, {}, 0,
         {"No Com Port selected!", "ComPortError", MessageIcon::Critical}},
        {"port gone", EngineOutcome::NoPort, {}, 0,
         {"Com1 (/dev/fake1) cannot be opened: /dev/fake1 does not exist", "ComPortError",
          MessageIcon::Critical}},
        {"no image", EngineOutcome::NoImage, {kSwitchCheck}, 1.2,
         noImage("No firmware image DVB-GEN*.bin was found in\n/images")},
        {"no folder", EngineOutcome::NoImage, {kSwitchCheck}, 1.2,
         noImage("The image folder\n/images\ndoes not exist.")},
        {"unreadable name", EngineOutcome::NoImage, {kSwitchCheck}, 1.2,
         noImage("The image folder\n/images\nholds DVB-GEN-\\xe9.bin, whose name cannot be read. "
                 "Rename it, then try again.")},
        {"port vanished", EngineOutcome::Error, {kSwitchCheck, "q"}, 5.0, kUpdateErrorBox},
    };
    // clang-format on
    for (const Row& row : rows) {
        const QByteArray what = row.what;
        // No port chosen: the window found Com1 but nobody picked it.
        ModuleRig rig({}, what == "no port" ? std::optional<int>() : std::optional<int>(1));
        if (what == "port gone")
            rig.serial.vanish();
        if (what == "no folder")
            rig.files.files.remove("/images");
        if (what == "unreadable name")
            rig.files.unreadable = QStringList{"DVB-GEN-\\xe9.bin"};
        if (what == "port vanished") {
            rig.intercept = [](const QByteArray&) { return true; };
            rig.time.after(5.0, [&rig] { rig.serial.vanish(); });
        }
        SCOPED_TRACE(row.what);
        EXPECT_EQ(rig.updater().StartUpdate(), row.outcome);
        EXPECT_EQ(rig.sent(), row.sent);
        EXPECT_NEAR(rig.time.seconds(), row.endsAt, 0.01);
        EXPECT_EQ(rig.dialogs.shown, QList{row.box});
        EXPECT_EQ(rig.status.title, "Ready");
        EXPECT_EQ(rig.surface.fore, kGreen);
        EXPECT_FALSE(rig.status.busyPointer || rig.timer1.isEnabled());
    }
}

// Every status a whole update shows, in order, with its colour and both lines.
TEST(Statuses, AnUpdateShowsEachStateInItsWordsAndColours) {
    const ShownStatus checking{0, "Checking", kBlackWord,
                               "Checking module type for update, please wait",
                               "Prüfe Modultyp für Update-Vorgang, bitte warten"};
    const ShownStatus warning{0, "Warning", kBlackWord, "Please turn setup switch to ON to proceed",
                              "Bitte Setup Schalter auf ON stellen, um fortzufahren"};
    auto running = [](quint32 color) {
        return ShownStatus{0, "Running", color, "Update in progress, please wait",
                           "Update wird ausgeführt, bitte warten"};
    };
    const ShownStatus error{0, "Error", kRed, "Update error. Automatical restart, please wait",
                            "Update Fehler. Automatischer Neustart, bitte warten"};
    const ShownStatus success{0, "Update Successful / Update erfolgreich", kGreen, "", ""};
    const ShownStatus& ready = kReadyStatus;

    // The request-driven transfer: switch OFF for three rounds, the first request lost.
    sim::ModuleConfig announcing = announcingModule();
    announcing.switchOffRounds = 3;
    announcing.silentAtReply = 1;
    announcing.silentFor = 1;
    // The acknowledged transfer: a fill command refused once. Its "Running" keeps the word's
    // colour: black at first, red after an error.
    sim::ModuleConfig probed = probedModule("DVBSAT");
    probed.errorAtReply = 4;
    const struct {
        sim::ModuleConfig module;
        QList<ShownStatus> expected;
    } rows[] = {
        {announcing,
         {checking, warning, checking, running(kRed), error, running(kRed), success, ready}},
        {probed, {checking, running(kBlackWord), error, running(kRed), success, ready}},
    };
    for (const auto& row : rows) {
        ModuleRig rig(row.module);
        addEveryImage(rig);
        rig.status.statuses.clear();
        ASSERT_EQ(rig.updater().StartUpdate(), EngineOutcome::Success);
        EXPECT_EQ(rig.status.statuses, row.expected);
        // The indicator: as stored in the layout, red from the start, green at the end.
        EXPECT_EQ(rig.surface.foreColors, (QList<quint32>{0x00C00000, kRed, kGreen, kGreen}));
    }
}

}  // namespace
}  // namespace tarvel::test
