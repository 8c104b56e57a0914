#include "update/Minisign.h"

#include "platform/ShownText.h"

#include <QDateTime>
#include <QList>
#include <QRegularExpression>

#ifdef TARVEL_SODIUM
#include <sodium.h>
#endif

namespace tarvel {

namespace {
constexpr int kIdLength = 8;
constexpr int kKeyLength = 32;
constexpr int kSignatureLength = 64;
constexpr int kHashLength = 64;  // BLAKE2b-512
const QByteArray kComment = "untrusted comment:";
const QByteArray kTrusted = "trusted comment: ";

std::optional<QByteArray> base64(const QByteArray& line, qsizetype length) {
    const auto decoded = QByteArray::fromBase64Encoding(
        line.trimmed(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != length)
        return std::nullopt;
    return decoded.decoded;
}

// A file's lines without their line ends; a file ending in a line end has no empty last line.
QList<QByteArray> linesOf(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

#ifdef TARVEL_SODIUM
bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

bool verified(const QByteArray& signature, const QByteArray& message, const QByteArray& key) {
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       static_cast<unsigned long long>(message.size()),
                                       reinterpret_cast<const unsigned char*>(key.data())) == 0;
}

QByteArray blake2b512(const QByteArray& message) {
    QByteArray hash(kHashLength, '\0');
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), kHashLength,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       static_cast<unsigned long long>(message.size()), nullptr, 0);
    return hash;
}
#endif
}  // namespace

std::optional<MinisignKey> parseMinisignKey(const QByteArray& text, QString* why) {
    const QList<QByteArray> lines = linesOf(text);
    if (lines.size() != 2 || !lines[0].startsWith(kComment)) {
        *why = QStringLiteral("it is no minisign public key (a comment line, then the key)");
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = base64(lines[1], 2 + kIdLength + kKeyLength);
    if (!bytes || !bytes->startsWith("Ed")) {
        *why = QStringLiteral("its key line is no Ed25519 key in base64");
        return std::nullopt;
    }
    return MinisignKey{bytes->mid(2, kIdLength), bytes->mid(2 + kIdLength), QString()};
}

std::optional<MinisignSignature> parseMinisignSignature(const QByteArray& text, QString* why) {
    const QList<QByteArray> lines = linesOf(text);
    if (lines.size() != 4 || !lines[0].startsWith(kComment) || !lines[2].startsWith(kTrusted)) {
        *why = QStringLiteral(
            "it is no minisign signature (a comment line, the signature, the trusted comment and "
            "its signature)");
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = base64(lines[1], 2 + kIdLength + kSignatureLength);
    const std::optional<QByteArray> global = base64(lines[3], kSignatureLength);
    if (!bytes || !global) {
        *why = QStringLiteral("its signature lines are not signatures in base64");
        return std::nullopt;
    }
    MinisignSignature signature;
    signature.algorithm = bytes->left(2);
    if (signature.algorithm != "ED" && signature.algorithm != "Ed") {
        *why = QStringLiteral("it names an algorithm minisign does not have");
        return std::nullopt;
    }
    signature.keyId = bytes->mid(2, kIdLength);
    signature.signature = bytes->mid(2 + kIdLength);
    signature.commentBytes = lines[2].mid(kTrusted.size());
    signature.trustedComment = QString::fromUtf8(signature.commentBytes);
    signature.commentSignature = *global;
    return signature;
}

QString minisignProblem(const MinisignSignature& signature, const MinisignKey& key,
                        const QByteArray& message) {
#ifdef TARVEL_SODIUM
    if (!sodiumReady())
        return QStringLiteral("the signature library cannot be started");
    if (signature.keyId != key.id)
        return QStringLiteral("it was made with another key");
    const QByteArray signedBytes = signature.algorithm == "ED" ? blake2b512(message) : message;
    if (!verified(signature.signature, signedBytes, key.key))
        return QStringLiteral(
            "the signature does not match the list: the list was changed after "
            "it was signed");
    if (!verified(signature.commentSignature, signature.signature + signature.commentBytes,
                  key.key))
        return QStringLiteral("the trusted comment was changed after it was signed");
    return QString();
#else
    Q_UNUSED(signature);
    Q_UNUSED(key);
    Q_UNUSED(message);
    return QStringLiteral("this build of the program cannot check signatures");
#endif
}

QString keyIdText(const QByteArray& id) {
    // A little-endian number, in hexadecimal without leading zeros, as minisign writes it into
    // a public key's comment and its own messages: what the release team sees is what we show.
    quint64 number = 0;
    for (qsizetype i = id.size() - 1; i >= 0; --i)
        number = (number << 8) | static_cast<unsigned char>(id[i]);
    return QString::number(number, 16).toUpper();
}

std::optional<qint64> signedAt(const QString& trustedComment) {
    static const QRegularExpression kTimestamp(
        QStringLiteral("(?:^|\\s)timestamp:([0-9]{1,12})(?:\\s|$)"));
    const QRegularExpressionMatch match = kTimestamp.match(trustedComment);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}

QString signedAtText(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
}

QString commentLine(const QString& trustedComment) {
    return shownText(QString(trustedComment).replace(QLatin1Char('\t'), QLatin1Char(' ')));
}

bool canCheckSignatures() {
#ifdef TARVEL_SODIUM
    return true;
#else
    return false;
#endif
}

}  // namespace tarvel
