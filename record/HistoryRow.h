#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvel {

// One exchange in the history of updates and communication tests. Its row is written when the
// exchange starts, with the outcome "running", and completed when it ends; a row whose process
// died first reads "unfinished", with what was known by then.
struct HistoryRow {
    qint64 id = 0;
    QString kind;      // update or comtest
    QString started;   // ISO 8601 with the local offset: 2026-12-06T14:02:11+01:00
    QString finished;  // empty until the exchange has ended
    QString port;
    QString device;
    QString module;
    QString image;
    std::optional<qint64> imageSize;
    QString imageSha256;
    qint64 bytesSent = 0;
    double seconds = 0;
    QString outcome;         // success, error, no-image, refused, cancelled, timeout, interrupted,
                             // running or unfinished
    QString log;             // the path of its log; empty when none could be written
    QString reasonCode;      // why it ended (status/Outcome.h); empty for rows of older programs
    QString reason;          // the same for people: where and what
    QString station;         // the PC that ran it ([Station] Name=, else the host name)
    QString exchangeId;      // a UUID made when it started, the same on every station and server
    QString signingKey;      // the id of the key whose signature of the approved list held
    QString trustedComment;  // its trusted comment, as commentLine shows it
    // The list's time (seconds since 1970, UTC) once a transfer with it began: no older list of
    // the key is accepted after it.
    std::optional<qint64> releaseUsed;
    QString olderRelease;  // how and why an older list than one already used went through once
};

inline const QString kUpdateKind = QStringLiteral("update");
inline const QString kComtestKind = QStringLiteral("comtest");

}  // namespace tarvel
