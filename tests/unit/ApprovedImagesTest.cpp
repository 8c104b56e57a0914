// Approved images: with a list in force only listed images whose bytes have the listed hash reach
// the module; each newer image passed over is named, and a list that cannot be read stops all.
#include "tests/support/Rig.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

QByteArray hashOf(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Keeps what the window would have shown of a chosen image, and may change the file on the disk
// right after the check, as a copy still being written would.
struct ImageWatch : ExchangeListener {
    void imageChosen(const ImageChosen& event) override {
        chosen = event;
        if (afterCheck)
            afterCheck(event.path);
    }
    ImageChosen chosen;
    std::function<void(const QString& path)> afterCheck;
};

TEST(ApprovedImages, OnlyListedImagesWithTheirHashAreFlashedAndThoseStoppedAreNamed) {
    const QByteArray older = requestImage(1);
    QByteArray newer = older;
    newer[0] = 'N';
    const QByteArray olderLine = hashOf(older) + "  DVB-GEN-1.bin\n";
    const QByteArray newerLine = hashOf(newer) + "  DVB-GEN-2.bin\n";
    struct Row {
        const char* what;
        QByteArray folderList;  // SHA256SUMS in the image folder; empty: none; "/": a folder
        QByteArray ownList;     // the file [Paths] ApprovedImages names; empty: no such setting;
                                // "=": the setting with nothing in it
        QByteArray flashed;     // empty: nothing
        QString approvedBy;
        QStringList notices;
        QString message;  // the one message box, if any
    };
    const QString gen2 = "DVB-GEN-2.bin passed over: ";
    const QString list = "/images/SHA256SUMS";
    const QString folderList =
        "the approved list /images/SHA256SUMS cannot be read: it is a folder";
    const QString ownList = "the approved list /etc/approved cannot be read: it does not exist";
    const QString noList =
        "the approved list [Paths] ApprovedImages= cannot be read: it names no "
        "file";
    const Row rows[] = {
        {"no list", {}, {}, newer, {}, {}, {}},
        {"listed", olderLine + newerLine, {}, newer, "/images/SHA256SUMS", {}, {}},
        {"unlisted newer",
         olderLine,
         {},
         older,
         "/images/SHA256SUMS",
         {gen2 + "not on the approved list"},
         {}},
        {"hash mismatch",
         olderLine + hashOf(older) + " *DVB-GEN-2.bin\n",
         {},
         older,
         "/images/SHA256SUMS",
         {gen2 + "differs from its approved checksum"},
         {}},
        {"malformed line",
         "garbage\n" + newerLine,
         {},
         newer,
         "/images/SHA256SUMS",
         {"/images/SHA256SUMS, line 1: not a SHA-256 and a file name"},
         {}},
        {"entries match exactly: an archived copy approves only itself",
         olderLine + hashOf(newer) + "  archive/DVB-GEN-2.bin\n" + hashOf(older) +
             "  ./DVB-GEN-1.bin\n",
         {},
         older,
         list,
         {gen2 + "not on the approved list"},
         {}},
        {"entries outside the folder are named and approve nothing",
         olderLine + hashOf(newer) + "  ../images/DVB-GEN-2.bin\n" + hashOf(newer) +
             "  /images/DVB-GEN-2.bin\n",
         {},
         older,
         list,
         {list + ", line 2: ../images/DVB-GEN-2.bin leads out of the image folder",
          list + ", line 3: /images/DVB-GEN-2.bin is an absolute path",
          gen2 + "not on the approved list"},
         {}},
        {"listed twice with different hashes",
         newerLine + olderLine + hashOf(older) + "  DVB-GEN-2.bin\n",
         {},
         older,
         list,
         {list + ", lines 1 and 3: DVB-GEN-2.bin is listed with different SHA-256s, so neither "
                 "is approved",
          gen2 + "listed with different checksums on the approved list"},
         {}},
        {"setting over folder",
         newerLine,
         olderLine,
         older,
         "/etc/approved",
         {gen2 + "not on the approved list"},
         {}},
        {"unreadable list",
         newerLine,
         "-",
         {},
         {},
         {gen2 + ownList, "DVB-GEN-1.bin passed over: " + ownList},
         "No approved firmware image DVB-GEN*.bin was found in\n/images\n(" + ownList + ")"},
        {"a setting that names no file",
         {},
         "=",
         {},
         {},
         {gen2 + noList, "DVB-GEN-1.bin passed over: " + noList},
         "No approved firmware image DVB-GEN*.bin was found in\n/images\n(" + noList + ")"},
        {"a folder named like the list",
         "/",
         {},
         {},
         {},
         {gen2 + folderList, "DVB-GEN-1.bin passed over: " + folderList},
         "No approved firmware image DVB-GEN*.bin was found in\n/images\n(" + folderList + ")"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ModuleRig rig(announcingModule());
        rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), older, 100);
        rig.files.add(Rig::imagePath("DVB-GEN-2.bin"), newer, 200);
        if (row.folderList == "/")
            rig.files.addFolder(Rig::imagePath("SHA256SUMS"));
        else if (!row.folderList.isEmpty())
            rig.files.add(Rig::imagePath("SHA256SUMS"), row.folderList);
        if (row.ownList == "=") {
            rig.settings.values["Paths/ApprovedImages"] = "";
        } else if (!row.ownList.isEmpty()) {
            rig.settings.values["Paths/ApprovedImages"] = "/etc/approved";
            if (row.ownList != "-")
                rig.files.add("/etc/approved", row.ownList);
        }
        ImageWatch watch;
        rig.session().subscribe(watch);
        const EngineOutcome outcome = rig.session().runUpdate();
        EXPECT_EQ(outcome, row.flashed.isEmpty() ? EngineOutcome::NoImage : EngineOutcome::Success);
        EXPECT_TRUE(rig.module.flash() == row.flashed);
        EXPECT_EQ(watch.chosen.approvedBy, row.approvedBy);
        EXPECT_EQ(rig.status.notices, row.notices);
        EXPECT_EQ(rig.dialogs.shown.isEmpty() ? QString() : rig.dialogs.shown[0].text, row.message);
    }
}

// The bytes hashed are the bytes sent: a file changed after its check never reaches the module.
TEST(ApprovedImages, AFileChangedAfterItsCheckIsSentAsItWasChecked) {
    ModuleRig rig(announcingModule());
    const QByteArray image = requestImage(2);
    rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), image);
    rig.files.add(Rig::imagePath("SHA256SUMS"), hashOf(image) + "  DVB-GEN-1.bin\n");
    ImageWatch watch;
    watch.afterCheck = [&rig](const QString& path) { rig.files.add(path, requestImage(3)); };
    rig.session().subscribe(watch);
    EXPECT_EQ(rig.session().runUpdate(), EngineOutcome::Success);
    EXPECT_TRUE(rig.module.flash() == image);
    EXPECT_EQ(watch.chosen.sha256, hashOf(image));
}

}  // namespace
}  // namespace tarvel::test
