// Choosing the image for a module: newest first, the expert's own choice, and what exists.
#include "tests/support/UpdateRig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Lookup : ::testing::Test {
    void add(const QString& name, qint64 modified) {
        rig.files.add(Rig::imagePath(name), "x", modified);
    }
    QString find(const QString& pattern = "DVB-SAT*.bin") {
        return rig.updater().FindFirmwareFile(pattern);
    }
    UpdateRig rig;
};

TEST_F(Lookup, NewestFileWinsWhateverItsName) {
    add("DVB-SAT-a.bin", 100);
    add("DVB-SAT-b.bin", 200);
    add("DVB-TER-z.bin", 900);
    EXPECT_EQ(find(), Rig::imagePath("DVB-SAT-b.bin"));
}

TEST_F(Lookup, EqualTimesGoToTheAlphabeticallyFirst) {
    add("DVB-SAT-c.bin", 300);
    add("DVB-SAT-b.bin", 300);
    add("DVB-SAT-a.bin", 100);
    EXPECT_EQ(find(), Rig::imagePath("DVB-SAT-b.bin"));
}

TEST_F(Lookup, PatternIgnoresLetterCaseAndFoldersAreNoCandidates) {
    add("dvb-sat-old.BIN", 100);
    rig.files.addFolder(Rig::imagePath("DVB-SAT-new.bin"));
    EXPECT_EQ(find(), Rig::imagePath("dvb-sat-old.BIN"));
}

TEST_F(Lookup, NothingMatchingGivesNothing) {
    add("DVB-TER-1.bin", 100);
    EXPECT_TRUE(find().isEmpty());
}

TEST_F(Lookup, ExpertChoosesAmongSeveralListedNewestFirst) {
    rig.form->ManualFileSelect = true;
    add("DVB-SAT-1.bin", 100);
    add("DVB-SAT-2.bin", 300);
    add("DVB-SAT-3.bin", 200);
    rig.chooser.answer = 1;
    EXPECT_EQ(find(), Rig::imagePath("DVB-SAT-3.bin"));
    EXPECT_EQ(rig.chooser.listed, (QStringList{"DVB-SAT-2.bin", "DVB-SAT-3.bin", "DVB-SAT-1.bin"}));
}

TEST_F(Lookup, ExpertWithASingleFileIsNotAsked) {
    rig.form->ManualFileSelect = true;
    add("DVB-SAT-1.bin", 100);
    EXPECT_EQ(find(), Rig::imagePath("DVB-SAT-1.bin"));
    EXPECT_EQ(rig.chooser.shown, 0);
}

TEST_F(Lookup, ClosedWithoutAChoiceKeepsOnlyAFittingEarlierImage) {
    rig.form->ManualFileSelect = true;
    add("DVB-SAT-1.bin", 100);
    add("DVB-SAT-2.bin", 300);
    EXPECT_TRUE(find().isEmpty());  // the first update of the run

    rig.updater().FirmwareFile = Rig::imagePath("DVB-SAT-1.bin");
    EXPECT_EQ(find(), Rig::imagePath("DVB-SAT-1.bin"));

    // An earlier image of another module kind is never sent to this one.
    add("DVB-TER-1.bin", 100);
    add("DVB-TER-2.bin", 100);
    EXPECT_TRUE(find("DVB-TER*.bin").isEmpty());
}

TEST_F(Lookup, FileExistsOnlyForFiles) {
    add("DVB-SAT-1.bin", 100);
    rig.files.addFolder(Rig::imagePath("sub"));
    EXPECT_TRUE(rig.updater().FileExists(Rig::imagePath("DVB-SAT-1.bin")));
    EXPECT_FALSE(rig.updater().FileExists(Rig::imagePath("sub")));
    EXPECT_FALSE(rig.updater().FileExists(Rig::imagePath("none.bin")));
}

}  // namespace
}  // namespace tarvel::test
