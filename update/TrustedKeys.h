#pragma once

#include "update/Minisign.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarvel {

class FileSystem;
class SettingsStore;

// The public keys of the release teams whose signed lists a station trusts: the minisign ".pub"
// files in one folder. With any key file there, every image must be named by a list that one of
// these keys signed.
class TrustedKeys {
  public:
    // The folder that "Keys" in section "Trust" of the settings store names; else
    // /etc/tarvel-update-utility/trusted-keys on Linux and trusted-keys beside the programs on
    // Windows.
    static QString folderFor(const SettingsStore& settings, const QString& programFolder);
    // The keys of folder. A key file that cannot be read or is no key is named and trusts
    // nothing; a folder that anyone may write is refused whole, since anyone could add a key.
    static TrustedKeys load(const FileSystem& files, const QString& folder);

    // Lists must be signed: a key file is there, usable or not, or the folder was refused.
    bool inForce() const { return inForce_; }
    const QString& folder() const { return folder_; }
    // The trusted key of that id; none when no usable key has it.
    const MinisignKey* find(const QByteArray& id) const;
    // Key files that trust nothing and a refused folder, each with its path and why.
    const QStringList& problems() const { return problems_; }

  private:
    QString folder_;
    bool inForce_ = false;
    QList<MinisignKey> keys_;
    QStringList problems_;
};

}  // namespace tarvel
