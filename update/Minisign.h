#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvel {

// A release team's public key in minisign's format: a comment line, then in base64 the
// algorithm "Ed", the key's 8-byte id and the 32-byte Ed25519 key.
struct MinisignKey {
    QByteArray id;  // 8 bytes
    QByteArray key;
    QString path;  // the file it came from
};

// A detached signature in minisign's format: a comment line; in base64 the algorithm ("ED": the
// signature is over the file's BLAKE2b-512 hash, minisign's default; "Ed": over the file itself),
// the signing key's id and the signature; "trusted comment: " and the comment; in base64 the
// signature over the signature and the comment together, so that the comment cannot be changed.
struct MinisignSignature {
    QByteArray algorithm;
    QByteArray keyId;
    QByteArray signature;
    QString trustedComment;
    QByteArray commentSignature;
    QByteArray commentBytes;  // the comment as signed
};

// Reads a public key file's text; nothing, and why in *why, when it is no such key.
std::optional<MinisignKey> parseMinisignKey(const QByteArray& text, QString* why);
// Reads a signature file's text; nothing, and why in *why, when it is no such signature.
std::optional<MinisignSignature> parseMinisignSignature(const QByteArray& text, QString* why);
// Why the signature does not hold for message under key (whose id it names), empty when it
// does: the message's signature first, then the trusted comment's.
QString minisignProblem(const MinisignSignature& signature, const MinisignKey& key,
                        const QByteArray& message);
// The id as minisign shows it: hexadecimal without leading zeros, "AEB770F009C60C7E".
QString keyIdText(const QByteArray& id);
// The time a list was signed, as minisign writes it into the trusted comment it makes by
// default ("timestamp:1765000000\tfile:SHA256SUMS\thashed"): seconds since 1970, UTC. Nothing
// when the comment names none (a comment the release team wrote whole with -t).
std::optional<qint64> signedAt(const QString& trustedComment);
// A time of signedAt as people read it: "2025-12-06 05:46:40 UTC".
QString signedAtText(qint64 seconds);
// The trusted comment as every front end, the log and the history show it: text from outside, on
// one line, minisign's tabs between its fields as spaces and every other control character or
// escape sequence as \xNN (shownText), so that it never reaches a terminal, a log or a CSV cell
// raw.
QString commentLine(const QString& trustedComment);
// Whether this build can check signatures at all.
bool canCheckSignatures();

}  // namespace tarvel
