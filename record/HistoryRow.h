#pragma once

#include <QString>
#include <QStringList>
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
    QString outcome;  // success, error, no-image, refused, cancelled, timeout, interrupted,
                      // running or unfinished
    QString log;      // the path of its log; empty when none could be written
};

inline const QString kUpdateKind = QStringLiteral("update");
inline const QString kComtestKind = QStringLiteral("comtest");
inline const QString kRunning = QStringLiteral("running");
inline const QString kUnfinished = QStringLiteral("unfinished");

// Every word a row's outcome may be.
inline const QStringList& historyOutcomeWords() {
    static const QStringList words = {QStringLiteral("success"),
                                      QStringLiteral("error"),
                                      QStringLiteral("no-image"),
                                      QStringLiteral("refused"),
                                      QStringLiteral("cancelled"),
                                      QStringLiteral("timeout"),
                                      QStringLiteral("interrupted"),
                                      kRunning,
                                      kUnfinished};
    return words;
}

}  // namespace tarvel
