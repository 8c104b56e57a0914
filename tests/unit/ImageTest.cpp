// Where the images lie; choosing the image for a module: the newest that matches, or the expert's
// own choice; and inspect, which judges an image exactly as its update does and forecasts what the
// update costs.
#include "tests/support/Rig.h"
#include "update/ImageFolder.h"
#include "update/ImageInspection.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tarvel::test {
namespace {

TEST(Lookup, NewestMatchingFileWinsAndEqualTimesGoToTheAlphabeticallyFirst) {
    struct Row {
        QList<std::pair<QString, qint64>> files;  // name, modified
        QString found;
    };
    const Row rows[] = {
        {{{"DVB-SAT-a.bin", 100}, {"DVB-SAT-b.bin", 200}, {"DVB-TER-z.bin", 900}}, "DVB-SAT-b.bin"},
        {{{"DVB-SAT-c.bin", 300}, {"DVB-SAT-b.bin", 300}, {"DVB-SAT-a.bin", 100}}, "DVB-SAT-b.bin"},
        {{{"dvb-sat-old.BIN", 100}}, "dvb-sat-old.BIN"},
        {{{"DVB-TER-1.bin", 100}, {"DVB-SATX.txt", 100}}, ""},
    };
    for (const Row& row : rows) {
        ModuleRig rig;
        for (const auto& [name, modified] : row.files)
            rig.files.add(Rig::imagePath(name), "x", modified);
        rig.files.addFolder(Rig::imagePath("DVB-SAT-folder.bin"));  // never a candidate
        EXPECT_EQ(rig.phases().lookup.FindFirmwareFile("DVB-SAT*.bin"),
                  row.found.isEmpty() ? QString() : Rig::imagePath(row.found));
    }
}

TEST(Lookup, ExpertChoosesAmongSeveralListedNewestFirst) {
    ModuleRig rig;
    rig.form->ManualFileSelect = true;
    rig.files.add(Rig::imagePath("DVB-SAT-1.bin"), "x", 100);
    rig.files.add(Rig::imagePath("DVB-TER-1.bin"), "x", 100);
    EXPECT_EQ(rig.phases().lookup.FindFirmwareFile("DVB-SAT*.bin"),
              Rig::imagePath("DVB-SAT-1.bin"));
    EXPECT_EQ(rig.chooser.shown, 0);  // one file: nobody is asked

    rig.files.add(Rig::imagePath("DVB-SAT-2.bin"), "x", 300);
    rig.files.add(Rig::imagePath("DVB-SAT-3.bin"), "x", 200);
    rig.chooser.answer = 1;
    EXPECT_EQ(rig.phases().lookup.FindFirmwareFile("DVB-SAT*.bin"),
              Rig::imagePath("DVB-SAT-3.bin"));
    EXPECT_EQ(rig.chooser.listed, (QStringList{"DVB-SAT-2.bin", "DVB-SAT-3.bin", "DVB-SAT-1.bin"}));

    // Closed without a choice: the previous update's image serves only if it fits this module.
    rig.chooser.answer.reset();
    EXPECT_TRUE(rig.phases().lookup.FindFirmwareFile("DVB-SAT*.bin").isEmpty());
    rig.chooser.answer = 2;
    ASSERT_EQ(rig.phases().lookup.imageFor("DVB-SAT*.bin").path, Rig::imagePath("DVB-SAT-1.bin"));
    rig.chooser.answer.reset();
    EXPECT_EQ(rig.phases().lookup.FindFirmwareFile("DVB-SAT*.bin"),
              Rig::imagePath("DVB-SAT-1.bin"));
    rig.files.add(Rig::imagePath("DVB-TER-2.bin"), "x", 100);
    EXPECT_TRUE(rig.phases().lookup.FindFirmwareFile("DVB-TER*.bin").isEmpty());
}

// The image folder: the settings store's choice, /var/lib for a program installed below /usr,
// otherwise the program's own folder.
TEST(ImageFolder, FollowsTheSettingThenTheInstallationPlace) {
    struct Row {
        const char* programFolder;
        const char* setting;  // nullptr: nothing stored
        const char* expected;
    };
    const Row rows[] = {
        {"/usr/bin", nullptr, "/var/lib/tarvel-update-utility"},
        {"/usr/local/bin", nullptr, "/var/lib/tarvel-update-utility"},
        {"/home/tech/tarvel/build", nullptr, "/home/tech/tarvel/build"},
        {"/usrlocal/bin", nullptr, "/usrlocal/bin"},
        {"/opt/tarvel", nullptr, "/opt/tarvel"},
        {"/usr/bin", "/srv/images/", "/srv/images"},
        {"/home/tech/build", " /media/usb ", "/media/usb"},
        {"/usr/bin", "  ", "/var/lib/tarvel-update-utility"},
    };
    for (const Row& row : rows) {
        MemorySettingsStore settings;
        if (row.setting)
            settings.values["Paths/ImageFolder"] = row.setting;
        EXPECT_EQ(imageFolder(row.programFolder, settings), row.expected) << row.programFolder;
    }
}

TEST(ImageInspection, JudgesAsTheUpdateDoesAndForecastsIt) {
    const QByteArray blank = QByteArray(64, 'H') + QByteArray(65536, '\xff');
    const QByteArray sparse =
        ackImage(3, [](int s, int b) { return s == 0 ? b <= 9 : s == 2 && b == 63; });
    const struct {
        QString name;
        std::optional<QByteArray> image;   // nothing: no such file
        QString reason;                    // empty: usable, and then what its update costs
        std::tuple<int, int, int> walk{};  // data blocks, blank blocks, sectors visited
        qint64 bytes = 0;
        double seconds = 0;
    } rows[] = {
        {"DVB-GEN-a.bin", QByteArray(100, 'a'),
         "its length of 100 bytes is not a whole number of 65536-byte sectors"},
        {"dvb-gen-b.BIN", QByteArray(), "it holds 0 sectors, this transfer carries 1 to 255"},
        {"DVB-GEN-c.bin", requestImage(256),
         "it holds 256 sectors, this transfer carries 1 to 255"},
        {"DVB-GEN-d.bin", std::nullopt, "it cannot be opened"},
        {"DVB-TCI-e.bin", QByteArray(63, 'e'), "it is shorter than its 64-byte header"},
        {"DVB-SCO-f.bin", QByteArray(164, 'f'),
         "its length after the 64-byte header, 100 bytes, is not a whole number of 65536-byte "
         "sectors"},
        {"DVB-SAT-g.bin", blank + requestImage(237),
         "it holds 238 sectors, this transfer carries 1 to 237"},
        {"DVB-SLV-h.bin", blank + blank.mid(64), "it holds no data, every byte is 0xFF"},
        // 12 + 3 + 65536 bytes, and "OK", "EN" back, at 11520 bytes/s; 0.2 + 1 + 1 + 2 + 3 s
        {"DVB-GEN-1.bin", requestImage(1), "", {}, 65551, 65555 / 11520.0 + 7.2},
        // Data in blocks 0..9 of sector 0 and block 63 of sector 2: sector 0 ends blank, so the
        // walk skips sector 1. Found by the third probe:
        // 12 + 1 + 3 x 30 + 6 + 11 x 1027 + 117 x 2 + 2 x 2 + 1 bytes, and 11 x 4 + 117 x 2 +
        // 2 x 4 back; 0.2 + 1 + 10 + 3 x 0.5 + 2 + 3 s
        {"DVB-TER-3.bin", sparse, "", {11, 117, 2}, 11645, 11931 / 11520.0 + 17.7},
    };
    for (const auto& row : rows) {
        ModuleRig rig;
        const QString path = Rig::imagePath(row.name);
        if (row.image)
            rig.files.add(path, *row.image);
        const ImageInspection inspection = inspectImage(rig.files, path, kindForName(row.name));
        EXPECT_EQ(inspection.check.problem, row.reason) << qPrintable(row.name);
        if (inspection.forecast) {
            const WalkCounts walk = inspection.check.walk.value_or(WalkCounts{});
            EXPECT_EQ(std::tuple(walk.dataBlocks, walk.blankBlocks, walk.sectorsVisited), row.walk);
            EXPECT_EQ(inspection.forecast->bytesToModule, row.bytes);
            EXPECT_NEAR(inspection.forecast->seconds, row.seconds, 1e-9);
            continue;
        }
        // The update refuses it in the same words, before it sends anything, and is ready again.
        Phases& phases = rig.phases();
        EXPECT_EQ(inspection.kind->transfer == TransferKind::Ack
                      ? phases.ack.SendFirmwareWithAck(path, "DVBSAT").outcome
                      : phases.request.SendFirmwareOnRequest(path).outcome,
                  EngineOutcome::Refused);
        const ShownMessage refusal{
            "The firmware image\n" + path + "\ncannot be used: " + row.reason + ".", "Update Error",
            MessageIcon::Critical};
        EXPECT_EQ(rig.dialogs.shown, QList{refusal});
        EXPECT_TRUE(rig.writes.isEmpty());
        EXPECT_EQ(rig.status.title, "Ready");
    }
}

TEST(ImageInspection, ExpertChoosesSeeingSizeAndDurationOrWhyNot) {
    ModuleRig rig;
    rig.form->ManualFileSelect = true;
    rig.files.add(Rig::imagePath("DVB-GEN-new.bin"), requestImage(20), 200);
    rig.files.add(Rig::imagePath("DVB-GEN-old.bin"), QByteArray(3, 'x'), 100);
    rig.phases().lookup.FindFirmwareFile("DVB-GEN*.bin");
    const QList<FileChoice> shown = rig.chooser.choices;
    // 20 sectors: 113.78 s on the line and 26.2 s of pauses
    EXPECT_EQ(shown.value(0).size + ", " + shown.value(0).duration,
              "1,310,720 bytes, about 2 min 20 s");
    EXPECT_EQ(shown.value(1).duration.section(": ", 1),
              "its length of 3 bytes is not a whole number of 65536-byte sectors");
}

}  // namespace
}  // namespace tarvel::test
