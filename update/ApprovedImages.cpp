#include "update/ApprovedImages.h"

#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "update/Minisign.h"
#include "update/TrustedKeys.h"

#include <QDir>
#include <QRegularExpression>

namespace tarvel {

namespace {
// The largest list worth reading: a few hundred images at about a hundred bytes a line.
constexpr qint64 kLargestList = 1 << 20;
// A signature file is four short lines.
constexpr qint64 kLargestSignature = 4096;

// sha256sum writes "HASH  NAME", or "HASH *NAME" for a file read in binary mode; a name with a
// backslash or a line break gets a leading backslash and those characters escaped.
const QRegularExpression kLine(QStringLiteral("^(\\\\?)([0-9a-fA-F]{64}) [ *](.+)$"));

QString unescaped(const QString& name) {
    QString plain;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == QLatin1Char('\\') && i + 1 < name.size()) {
            ++i;
            plain += name[i] == QLatin1Char('n') ? QLatin1Char('\n') : name[i];
        } else {
            plain += name[i];
        }
    }
    return plain;
}

// Why a listed name cannot name an image of the list's folder; empty when it can.
QString outsideProblem(const QString& name) {
    static const QRegularExpression kAbsolute(QStringLiteral("^([/\\\\]|[A-Za-z]:)"));
    if (kAbsolute.match(name).hasMatch())
        return QStringLiteral("is an absolute path");
    if (name.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return QStringLiteral("leads out of the image folder");
    return QString();
}

// "line 2", "lines 2 and 5", "lines 2, 5 and 7"
QString linesText(const QList<int>& lines) {
    QStringList numbers;
    for (const int line : lines)
        numbers << QString::number(line);
    if (numbers.size() == 1)
        return QStringLiteral("line ") + numbers[0];
    const QString last = numbers.takeLast();
    return QStringLiteral("lines %1 and %2").arg(numbers.join(QStringLiteral(", ")), last);
}
}  // namespace

ApprovedImages ApprovedImages::parse(const QString& path, const QByteArray& text) {
    ApprovedImages list;
    list.path_ = path;
    struct Listed {
        QByteArray hash;
        QList<int> lines;
        QString shown;  // as the list writes it, escapes and all: one line in a message
        bool differs = false;
    };
    QHash<QString, Listed> listed;
    QStringList order;  // of first mention, for messages in the list's order
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNumber = int(i + 1);
        const QString line = QString::fromUtf8(lines[i]).remove(QLatin1Char('\r'));
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QRegularExpressionMatch match = kLine.match(line);
        if (!match.hasMatch()) {
            list.problems_ << QStringLiteral("%1, line %2: not a SHA-256 and a file name")
                                  .arg(path, QString::number(lineNumber));
            continue;
        }
        const QString shown = match.captured(3);
        const QString name = match.captured(1).isEmpty() ? shown : unescaped(shown);
        if (const QString outside = outsideProblem(name); !outside.isEmpty()) {
            list.problems_ << QStringLiteral("%1, line %2: %3 %4")
                                  .arg(path, QString::number(lineNumber), shown, outside);
            continue;
        }
        // "./x.bin" is x.bin; "archive/x.bin" stays a file in the folder archive.
        const QString key = QDir::cleanPath(name);
        const QByteArray hash = match.captured(2).toLower().toLatin1();
        auto known = listed.find(key);
        if (known == listed.end()) {
            listed.insert(key, {hash, {lineNumber}, shown, false});
            order << key;
        } else {
            known->differs = known->differs || known->hash != hash;
            known->lines << lineNumber;
        }
    }
    for (const QString& key : order) {
        const Listed& entry = listed[key];
        if (!entry.differs) {
            list.hashes_.insert(key, entry.hash);
            continue;
        }
        list.conflicting_.insert(key);
        list.problems_ << QStringLiteral(
                              "%1, %2: %3 is listed with different SHA-256s, so "
                              "neither is approved")
                              .arg(path, linesText(entry.lines), entry.shown);
    }
    return list;
}

ApprovedImages ApprovedImages::unreadable(const QString& path, const QString& reason) {
    ApprovedImages list;
    list.path_ = path;
    list.unreadable_ = reason.isEmpty() ? QStringLiteral("it cannot be read") : reason;
    return list;
}

ApprovedImages ApprovedImages::missing(const TrustedKeys& keys) {
    ApprovedImages list;
    list.code_ = ReasonCode::NotSigned;
    list.untrusted_ = QStringLiteral(
                          "there is none, and with trusted keys in %1 every image must be named "
                          "by a signed one")
                          .arg(keys.folder());
    return list;
}

QString ApprovedImages::description() const {
    if (!untrusted_.isEmpty() && path_.isEmpty())
        return QStringLiteral("the approved list: ") + untrusted_;
    if (!untrusted_.isEmpty())
        return QStringLiteral("the approved list %1 is not trusted: %2").arg(path_, untrusted_);
    return unreadable_.isEmpty()
               ? QStringLiteral("the approved list %1").arg(path_)
               : QStringLiteral("the approved list %1 cannot be read: %2").arg(path_, unreadable_);
}

void ApprovedImages::checkSignature(const FileSystem& files, const TrustedKeys& keys,
                                    const QByteArray& text) {
    signature_.path = path_ + QStringLiteral(".minisig");
    signature_.found = files.hasEntry(signature_.path);
    const auto stop = [this](ReasonCode code, const QString& why) {
        code_ = code;
        signature_.problem = why;
        untrusted_ = QStringLiteral("its signature %1 %2").arg(signature_.path, why);
    };
    if (const QString problem = files.whyUnreadable(signature_.path); !problem.isEmpty())
        return stop(ReasonCode::NotSigned, QStringLiteral("cannot be read: ") + problem);
    QString why;
    const std::unique_ptr<ReadableFile> file = files.openForReading(signature_.path, &why);
    if (!file)
        return stop(ReasonCode::NotSigned, QStringLiteral("cannot be read: ") + why);
    if (file->size() > kLargestSignature)
        return stop(ReasonCode::BadSignature, QStringLiteral("is too large for a signature"));
    const std::optional<MinisignSignature> signature =
        parseMinisignSignature(file->read(file->size()), &why);
    if (!signature)
        return stop(ReasonCode::BadSignature, QStringLiteral("is unusable: ") + why);
    signature_.keyId = keyIdText(signature->keyId);
    signature_.trustedComment = signature->trustedComment;
    const MinisignKey* key = keys.find(signature->keyId);
    if (!key) {
        return stop(
            ReasonCode::UntrustedKey,
            QStringLiteral("was made by key %1, which is not trusted here").arg(signature_.keyId));
    }
    if (const QString problem = minisignProblem(*signature, *key, text); !problem.isEmpty())
        return stop(ReasonCode::BadSignature, QStringLiteral("does not hold: ") + problem);
    signature_.holds = true;
    signature_.signedAt = signedAt(signature_.trustedComment);
}

void ApprovedImages::checkRelease(std::optional<qint64> newest, const QString& problem,
                                  const std::function<QString(const QString&)>& allow) {
    if (!signature_.holds || (problem.isEmpty() && !newest))
        return;
    const std::optional<qint64> at = signature_.signedAt;
    if (problem.isEmpty() && at && *at >= *newest)
        return;
    const QString used = newest ? signedAtText(*newest) : QString();
    QString why;
    if (!problem.isEmpty())
        why = QStringLiteral(
                  "whether it is older than a list of key %1 this station has used "
                  "cannot be told: %2")
                  .arg(signature_.keyId, problem);
    else if (!at)
        why = QStringLiteral(
                  "its trusted comment names no time, and this station has used a "
                  "list of key %1 signed %2")
                  .arg(signature_.keyId, used);
    else
        why = QStringLiteral(
                  "it was signed %1, before the list of key %2 signed %3 that this "
                  "station has used")
                  .arg(signedAtText(*at), signature_.keyId, used);
    const QString how = allow ? allow(why) : QString();
    if (!how.isEmpty()) {
        signature_.olderAllowed = QStringLiteral("allowed once by %1: %2").arg(how, why);
        return;
    }
    code_ = ReasonCode::OlderRelease;
    untrusted_ = why;
}

QString ApprovedImages::refusal(const QString& fileName, const QByteArray& sha256) const {
    if (!unreadable_.isEmpty() || !untrusted_.isEmpty())
        return description();
    if (conflicting_.contains(fileName))
        return QStringLiteral("listed with different checksums on the approved list");
    const auto listed = hashes_.constFind(fileName);
    if (listed == hashes_.constEnd())
        return QStringLiteral("not on the approved list");
    if (*listed != sha256)
        return QStringLiteral("differs from its approved checksum");
    return QString();
}

std::optional<ApprovedImages> approvedImagesFor(const FileSystem& files,
                                                const SettingsStore& settings,
                                                const QString& imageFolder,
                                                const TrustedKeys& keys) {
    const QString section = QStringLiteral("Paths"), key = QStringLiteral("ApprovedImages");
    QString path = settings.value(section, key, QString()).trimmed();
    // A setting that is there but names nothing (empty, @Invalid(), a value that is no text)
    // meant a list all the same: it stops every image rather than none.
    if (path.isEmpty() && settings.contains(section, key))
        return ApprovedImages::unreadable(QStringLiteral("[Paths] ApprovedImages="),
                                          QStringLiteral("it names no file"));
    if (path.isEmpty()) {
        path = files.join(imageFolder, QStringLiteral("SHA256SUMS"));
        // Anything of that name is the list, whatever it is: a link to a share that is not
        // mounted, a folder or a pipe stops every image rather than none.
        if (!files.hasEntry(path))
            return keys.inForce() ? std::optional(ApprovedImages::missing(keys)) : std::nullopt;
    }
    // A list that is meant to be there and cannot be read stops every image (fails closed). The
    // kind is checked before the file is opened, and it is opened without waiting, so that a
    // pipe or a device never holds the update up.
    if (const QString problem = files.whyUnreadable(path); !problem.isEmpty())
        return ApprovedImages::unreadable(path, problem);
    QString error;
    const std::unique_ptr<ReadableFile> file = files.openForReading(path, &error);
    if (!file)
        return ApprovedImages::unreadable(path, error);
    if (file->size() > kLargestList)
        return ApprovedImages::unreadable(path, QStringLiteral("it is too large for a list"));
    const QByteArray text = file->read(file->size());
    if (text.size() != file->size())
        return ApprovedImages::unreadable(path, QStringLiteral("it cannot be read to its end"));
    ApprovedImages list = ApprovedImages::parse(path, text);
    if (keys.inForce())
        list.checkSignature(files, keys, text);
    return list;
}

}  // namespace tarvel
