// Choosing the image for a module: the newest that matches, or the expert's own choice.
#include "tests/support/Rig.h"

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
}

// Closed without a choice: the previous update's image serves only if it fits this module.
TEST(Lookup, SelectionClosedWithoutAChoiceNeverSendsAnotherKindsImage) {
    ModuleRig rig;
    rig.form->ManualFileSelect = true;
    for (const char* name : {"DVB-SAT-1.bin", "DVB-SAT-2.bin", "DVB-TER-1.bin", "DVB-TER-2.bin"})
        rig.files.add(Rig::imagePath(name), "x", 100);
    EXPECT_TRUE(rig.updater().FindFirmwareFile("DVB-SAT*.bin").isEmpty());
    rig.updater().FirmwareFile = Rig::imagePath("DVB-SAT-1.bin");
    EXPECT_EQ(rig.updater().FindFirmwareFile("DVB-SAT*.bin"), Rig::imagePath("DVB-SAT-1.bin"));
    EXPECT_TRUE(rig.updater().FindFirmwareFile("DVB-TER*.bin").isEmpty());
}

TEST(Lookup, FileExistsOnlyForFiles) {
    ModuleRig rig;
    rig.files.add(Rig::imagePath("DVB-SAT-1.bin"), "x");
    EXPECT_TRUE(rig.updater().FileExists(Rig::imagePath("DVB-SAT-1.bin")));
    EXPECT_FALSE(rig.updater().FileExists(Rig::imagePath("")));
    EXPECT_FALSE(rig.updater().FileExists(Rig::imagePath("none.bin")));
}

}  // namespace
}  // namespace tarvel::test
