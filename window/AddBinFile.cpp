// The expert's Add File: copies a firmware image into the image folder, where the next update
// finds it.
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/ProgramShell.h"
#include "window/Form1.h"

#include <QFileInfo>

namespace tarvel {

namespace {
// How long a copied file may stay locked (a virus scanner, a slow network share) before the
// technician is told.
constexpr double kFreeWaitLimit = 30.0;
constexpr double kFreePollInterval = 0.1;
}  // namespace

void Form1::AddBinFile() {
    const std::optional<QString> chosen =
        platform_.shell.chooseFileToOpen(QStringLiteral("Add Bin-File"), QStringLiteral("Bin-File"),
                                         QStringLiteral("*.bin"), QStringLiteral("*.bin"));
    if (!chosen)
        return;
    FileSystem& files = platform_.engine.files;
    const QString destination =
        files.join(platform_.engine.imageFolder, QFileInfo(*chosen).fileName());
    if (destination == *chosen)
        return;  // already in place
    if (files.sameFile(destination, *chosen)) {
        platform_.engine.dialogs.messageBox(
            QStringLiteral("%1 is already in the image folder as\n%2").arg(*chosen, destination),
            QString(), MessageIcon::Information);
        return;
    }
    if (!files.isFile(*chosen)) {
        // A pipe or a device named like an image would hang the copy, and no update can use it.
        platform_.engine.dialogs.messageBox(
            QStringLiteral("%1 is not a regular file and cannot be an image.").arg(*chosen),
            QString(), MessageIcon::Critical);
        return;
    }
    if (FileExists(destination) &&
        platform_.engine.dialogs.messageBox(QStringLiteral("File already exists! Overwrite?"),
                                            QString(), MessageIcon::Question,
                                            MessageButtons::OkCancel) != MessageResult::Ok) {
        return;
    }
    QString error;
    if (!files.copyFile(*chosen, destination, &error)) {
        platform_.engine.dialogs.messageBox(
            QStringLiteral("%1 cannot be copied to\n%2\n%3").arg(*chosen, destination, error),
            QString(), MessageIcon::Critical);
        return;
    }
    waitUntilFree(destination);
}

void Form1::waitUntilFree(const QString& path) {
    const double start = platform_.engine.clock.seconds();
    while (!IsFileFree(path)) {
        if (platform_.engine.clock.seconds() - start > kFreeWaitLimit) {
            platform_.engine.dialogs.messageBox(
                QStringLiteral("%1 was copied but is still in use by another program.").arg(path),
                QString(), MessageIcon::Information);
            return;
        }
        // Another program's lock ends without an event of ours: look again now and then.
        platform_.engine.pump.waitForEvents(kFreePollInterval);
    }
}

bool Form1::IsFileFree(const QString& path) const {
    return platform_.engine.files.isFileFree(path);
}

bool Form1::FileExists(const QString& path) const {
    return session.updater().FileExists(path);
}

}  // namespace tarvel
