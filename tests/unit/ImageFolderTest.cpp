// Where the images lie: the settings store's choice, /var/lib for a program installed below
// /usr, otherwise the program's own folder.
#include "tests/support/Fakes.h"
#include "update/ImageFolder.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

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
