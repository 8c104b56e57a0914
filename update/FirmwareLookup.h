#pragma once

#include "status/Outcome.h"
#include "update/ApprovedImages.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvel {

class FileSystem;
class ImageChooser;
class ReleaseMemory;
class SettingsStore;
class UpdateContext;

// Which image an update sends: the newest that matches the module's pattern in the image folder
// and that the approved list, when one is in force, lets through; in expert mode the
// technician's choice among several.
class FirmwareLookup {
  public:
    FirmwareLookup(UpdateContext& update, const FileSystem& files, const SettingsStore& settings,
                   ImageChooser* chooser, QString imageFolder, QString keysFolder = QString(),
                   ReleaseMemory* releases = nullptr, bool allowOlderRelease = false);

    // The image for pattern, read once into the update's image slot and announced; or the
    // message that tells why there is none.
    struct Result {
        QString path;                             // empty: none
        QString message;                          // why there is none
        ReasonCode reason = ReasonCode::NoImage;  // no-image, or not-approved
    };
    Result imageFor(const QString& pattern);
    // A new update: no image chosen yet. The previous update's image stays FirmwareFile.
    void begin() { chosenImage_.clear(); }
    // This update's image, once chosen; empty before.
    const QString& chosenImage() const { return chosenImage_; }

    // The newest image matching pattern, or the technician's choice in expert mode. Empty when
    // there is none.
    QString FindFirmwareFile(const QString& pattern);
    bool FileExists(const QString& Path) const;

  private:
    QString chooseAmong(const QStringList& names, const QList<qint64>& modified);
    // With a list in force: why the image may not be flashed, empty when it may; an approved
    // image's bytes are kept in the image slot for the transfer.
    QString approve(const QString& name, const QString& path);
    void passOver(const QString& name, const QString& refusal);
    // A list whose signature holds against the newest of its key this station has used.
    void checkRelease();
    QString whyNone(const QString& pattern) const;

    UpdateContext& update_;
    const FileSystem& files_;
    const SettingsStore& settings_;
    ImageChooser* chooser_;
    QString imageFolder_;
    QString keysFolder_;       // the trusted keys'; empty: none
    ReleaseMemory* releases_;  // none: lists are not compared with earlier ones
    bool allowOlderRelease_;   // the command line's --allow-older-release
    // The approved list in force for this update; nothing when there is none.
    std::optional<ApprovedImages> approved_;
    // The image chosen last, in this update or an earlier one: what the expert's selection
    // window falls back on when it is closed without a choice.
    QString FirmwareFile_;
    QString chosenImage_;
};

}  // namespace tarvel
