#include "app/HistoryReader.h"

#include "record/HistoryStore.h"
#include "status/Outcome.h"

#include <QFileInfo>

#include <algorithm>

namespace tarvel {

HistoryReader::HistoryReader(QString stateFolder, HistoryDestination line)
    : folder_(std::move(stateFolder)), destination_(std::move(line)) {}

HistoryReader::~HistoryReader() = default;

QString HistoryReader::filesNow() const {
    QString files;
    for (const QString& suffix : {QString(), QStringLiteral("-wal")}) {
        const QFileInfo file(HistoryStore::fileIn(folder_) + suffix);
        if (file.exists()) {
            files += QStringLiteral("%1 %2 ")
                         .arg(file.size())
                         .arg(file.lastModified().toMSecsSinceEpoch());
        }
    }
    return files;
}

std::optional<std::vector<HistoryRow>> HistoryReader::readLocal(bool force) {
    const QString files = filesNow();
    if (!force && !runningRead_ && files == filesRead_)
        return std::nullopt;
    filesRead_ = files;
    HistoryStore history(folder_);
    history.setStation(destination_.station);
    std::vector<HistoryRow> rows;
    if (history.open(false))
        rows = history.rows({}).value_or(std::vector<HistoryRow>());
    runningRead_ = std::any_of(rows.begin(), rows.end(), [](const HistoryRow& row) {
        return outcomeFromWord(row.outcome) == Outcome::Running;
    });
    return rows;
}

std::optional<std::vector<HistoryRow>> HistoryReader::readLine(bool force) {
    if (!server_)
        server_ = std::make_unique<CentralHistory>(destination_.database);
    CentralHistory& server = *server_;
    QString mark;
    if (server.open() && server.isReady() && server.changeMark(&mark)) {
        problem_.clear();
        if (!force && mark == serverRead_)
            return std::nullopt;
        if (std::optional<std::vector<HistoryRow>> rows = server.rows({})) {
            serverRead_ = mark;
            return rows;
        }
    }
    // One line, the important part first: the window shows as much of it as fits.
    problem_ = QStringLiteral(
                   "This station's own history is shown: the line's history %1 cannot be read "
                   "(%2).")
                   .arg(server.uri(), server.reason().simplified());
    server.close();
    failed_.start();
    return std::nullopt;
}

std::optional<HistoryRead> HistoryReader::readIfChanged(bool force, bool localOnly) {
    if (destination_.database.isEmpty() || localOnly) {
        std::optional<std::vector<HistoryRow>> rows = readLocal(force || shown_ != Source::Local);
        if (!rows)
            return std::nullopt;
        shown_ = Source::Local;
        return HistoryRead{std::move(*rows), false, QString()};
    }
    const QString told = problem_;
    if (force || problem_.isEmpty() || failed_.hasExpired(kCentralRetryMs)) {
        std::optional<std::vector<HistoryRow>> rows = readLine(force || shown_ != Source::Line);
        if (rows) {
            shown_ = Source::Line;
            return HistoryRead{std::move(*rows), true, QString()};
        }
        if (problem_.isEmpty())
            return std::nullopt;  // the server's rows as shown
    }
    // The server cannot be read: this station's own rows, and why.
    std::optional<std::vector<HistoryRow>> rows =
        readLocal(force || shown_ != Source::LocalInstead || problem_ != told);
    if (!rows)
        return std::nullopt;
    shown_ = Source::LocalInstead;
    return HistoryRead{std::move(*rows), false, problem_};
}

std::optional<HistoryReport> HistoryReader::report(const HistoryFilter& filter,
                                                   const std::vector<ReportGroup>& by,
                                                   QString* why) {
    if (shown_ == Source::Line && server_) {
        std::optional<HistoryReport> read = server_->report(filter, by);
        if (!read)
            *why = server_->reason();
        return read;
    }
    HistoryStore history(folder_);
    history.setStation(destination_.station);
    if (!history.open(false)) {
        *why = history.reason();
        return std::nullopt;
    }
    QSqlDatabase database = history.database();
    return readHistoryReport(database, filter, by, why);
}

}  // namespace tarvel
