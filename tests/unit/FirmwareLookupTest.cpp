// Where the images lie, and choosing the image for a module: the newest that matches, or the
// expert's own choice.
#include "tests/support/Rig.h"
#include "update/ImageFolder.h"

#include <gtest/gtest.h>

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
        EXPECT_EQ(rig.updater().FindFirmwareFile("DVB-SAT*.bin"),
                  row.found.isEmpty() ? QString() : Rig::imagePath(row.found));
    }
}

TEST(Lookup, ExpertChoosesAmongSeveralListedNewestFirst) {
    ModuleRig rig;
    rig.form->ManualFileSelect = true;
    rig.files.add(Rig::imagePath("DVB-SAT-1.bin"), "x", 100);
    rig.files.add(Rig::imagePath("DVB-TER-1.bin"), "x", 100);
    EXPECT_EQ(rig.updater().FindFirmwareFile("DVB-SAT*.bin"), Rig::imagePath("DVB-SAT-1.bin"));
    EXPECT_EQ(rig.chooser.shown, 0);  // one file: nobody is asked

    rig.files.add(Rig::imagePath("DVB-SAT-2.bin"), "x", 300);
    rig.files.add(Rig::imagePath("DVB-SAT-3.bin"), "x", 200);
    rig.chooser.answer = 1;
    EXPECT_EQ(rig.updater().FindFirmwareFile("DVB-SAT*.bin"), Rig::imagePath("DVB-SAT-3.bin"));
    EXPECT_EQ(rig.chooser.listed, (QStringList{"DVB-SAT-2.bin", "DVB-SAT-3.bin", "DVB-SAT-1.bin"}));

    // Closed without a choice: the previous update's image serves only if it fits this module.
    rig.chooser.answer.reset();
    rig.updater().FirmwareFile.clear();
    EXPECT_TRUE(rig.updater().FindFirmwareFile("DVB-SAT*.bin").isEmpty());
    rig.updater().FirmwareFile = Rig::imagePath("DVB-SAT-1.bin");
    EXPECT_EQ(rig.updater().FindFirmwareFile("DVB-SAT*.bin"), Rig::imagePath("DVB-SAT-1.bin"));
    rig.files.add(Rig::imagePath("DVB-TER-2.bin"), "x", 100);
    EXPECT_TRUE(rig.updater().FindFirmwareFile("DVB-TER*.bin").isEmpty());
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

}  // namespace
}  // namespace tarvel::test
