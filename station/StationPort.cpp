#include "station/StationPort.h"

#include "platform/ShownText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <utility>

#ifndef Q_OS_WIN
#include <csignal>
#endif

namespace tarvel {

namespace {

// A child that ended before any module made itself known (its port does not open, or vanished)
// is started again after this pause, so that a port without an adapter costs no CPU.
constexpr int kRestartPauseMs = 1000;

// The line with "port" after "t" and "event", as the child's own lines lead with those two.
QByteArray withPort(const QByteArray& line, const QString& port) {
    const QByteArray key = "\"event\":\"";
    const qsizetype event = line.indexOf(key);
    const qsizetype end = event < 0 ? -1 : line.indexOf('"', event + key.size());
    QByteArray field =
        "\"port\":" + QJsonDocument(QJsonArray{port}).toJson(QJsonDocument::Compact).mid(1);
    field.chop(1);
    if (end < 0)
        return line;
    return line.left(end + 1) + ',' + field + line.mid(end + 1);
}

// "Update Successful / Update erfolgreich": "Successful", a status word's length.
QString shortWord(const QString& word) {
    QString english = word.section(QStringLiteral(" / "), 0, 0);
    if (english != word && english.startsWith(QLatin1String("Update ")))
        english.remove(0, 7);
    return english;
}

}  // namespace

StationPort::StationPort(QString program, QString port, QStringList childArguments, bool repeat)
    : program_(std::move(program)),
      port_(std::move(port)),
      childArguments_(std::move(childArguments)),
      repeat_(repeat) {
    restart_.setSingleShot(true);
    QObject::connect(&restart_, &QTimer::timeout, [this] { startChild(); });
}

StationPort::~StationPort() {
    if (child_) {
        child_->disconnect();
        child_->kill();
        child_->waitForFinished(1000);
    }
}

void StationPort::start() {
    if (busy())
        return;
    stopping_ = false;
    finished_ = false;
    held_ = false;
    acknowledged_ = false;
    startChild();
}

bool StationPort::busy() const {
    return (child_ && child_->state() != QProcess::NotRunning) || restart_.isActive();
}

bool StationPort::acknowledge() {
    if (held_) {
        held_ = false;
        acknowledged_ = true;
        startChild();
        return true;
    }
    const bool running = child_ && child_->state() != QProcess::NotRunning;
    if (running || results_.empty() || acknowledged_ ||
        results_.back().ended.outcome == Outcome::Success)
        return false;
    acknowledged_ = true;
    return true;
}

void StationPort::startChild() {
    module_.clear();
    image_.clear();
    status_ = QStringLiteral("starting");
    english_.clear();
    german_.clear();
    percent_ = -1;
    outcome_.reset();
    pending_.clear();
    errors_.clear();
    warnings_.clear();
    moduleLeft_ = false;
    since_.start();
    child_ = std::make_unique<QProcess>();
    // The station forwards the rows of every child to the line's history.
    QStringList arguments =
        QStringList{QStringLiteral("update"), QStringLiteral("--json"),
                    QStringLiteral("--forwarded-by-station"), QStringLiteral("--port"), port_} +
        childArguments_;
    if (nextModuleOnly_)
        arguments << QStringLiteral("--next-module");
    // A port that waits for its next module until Ctrl+C, or until its adapter is pulled with
    // the module on it, has nothing to record.
    if (repeat_)
        arguments << QStringLiteral("--record-from-module");
    QProcess* child = child_.get();
    QObject::connect(child, &QProcess::readyReadStandardOutput, [this] { readLines(); });
    QObject::connect(child, &QProcess::readyReadStandardError,
                     [this, child] { errors_ += child->readAllStandardError(); });
    QObject::connect(child, &QProcess::finished, [this](int exitCode, QProcess::ExitStatus status) {
        childEnded(exitCode, status);
    });
    QObject::connect(child, &QProcess::errorOccurred, [this, child](QProcess::ProcessError error) {
        // A program that cannot be started never finishes.
        if (error == QProcess::FailedToStart) {
            errors_ += child->errorString().toUtf8();
            childEnded(-1, QProcess::CrashExit);
        }
    });
    child->start(program_, arguments);
}

void StationPort::stop() {
    stopping_ = true;
    held_ = false;
    restart_.stop();
    if (!child_ || child_->state() == QProcess::NotRunning) {
        if (!finished_) {
            finished_ = true;
            if (onFinished)
                onFinished();
        }
        return;
    }
#ifdef Q_OS_WIN
    child_->terminate();
#else
    ::kill(static_cast<pid_t>(child_->processId()), SIGINT);
#endif
}

void StationPort::readLines() {
    pending_ += child_->readAllStandardOutput();
    for (qsizetype end; (end = pending_.indexOf('\n')) >= 0;) {
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject()) {
            errors_ += line + '\n';
            continue;
        }
        take(document.object());
        // The start line names its port already.
        if (onJsonLine)
            onJsonLine(document.object().contains(QLatin1String("port")) ? line
                                                                         : withPort(line, port_));
    }
}

void StationPort::take(const QJsonObject& event) {
    const QString name = event.value(QLatin1String("event")).toString();
    // The child's words come from a module and an image folder: shown as text.
    const auto changed = [this](const QString& text) {
        if (onChange)
            onChange(shownText(text));
    };
    if (name == QLatin1String("status")) {
        const QString word = shortWord(event.value(QLatin1String("word")).toString());
        if (word != status_)
            changed(word);
        status_ = word;
        english_ = event.value(QLatin1String("english")).toString();
        german_ = event.value(QLatin1String("german")).toString();
    } else if (name == QLatin1String("module")) {
        module_ = event.value(QLatin1String("code")).toString();
        changed(QStringLiteral("module ") + module_);
    } else if (name == QLatin1String("image")) {
        image_ = QFileInfo(event.value(QLatin1String("path")).toString()).fileName();
        changed(QStringLiteral("image ") + image_);
    } else if (name == QLatin1String("progress")) {
        const int percent = event.value(QLatin1String("percent")).toInt();
        // A line for every tenth, enough to follow a file or a pipe. The progress back to 0 of
        // the ready state after a failure is not kept: the line shows how far it got.
        if (percent / 10 != percent_ / 10 && percent > 0)
            changed(QStringLiteral("%1%").arg(percent));
        if (percent > 0)
            percent_ = percent;
    } else if (name == QLatin1String("module-left")) {
        moduleLeft_ = true;
        changed(QStringLiteral("module taken off"));
    } else if (name == QLatin1String("warning") || name == QLatin1String("hint")) {
        warnings_ << event.value(QLatin1String("text")).toString();
    } else if (name == QLatin1String("outcome")) {
        outcome_ = outcomeRecordFrom(event);
    }
    if (name != QLatin1String("progress") && onRecorded)
        onRecorded();
}

ModuleResult StationPort::result(int exitCode, QProcess::ExitStatus status) const {
    ModuleResult result;
    result.module = module_;
    result.image = image_;
    result.percent = percent_;
    // The outcome and its reason tell a failure; the child's stderr repeats its boxes, so it
    // is shown only for a child that told nothing.
    result.errors = warnings_.join(QLatin1Char('\n'));
    if (outcome_) {
        result.ended = *outcome_;
        return result;
    }
    result.errors = QString::fromLocal8Bit(errors_ + pending_).trimmed();
    result.ended.outcome = Outcome::Crashed;
    result.ended.code = ReasonCode::Crashed;
    result.ended.seconds = since_.elapsed() / 1000.0;
    result.ended.reason =
        status == QProcess::CrashExit
            ? QStringLiteral("The update's process crashed.")
            : QStringLiteral("The update's process ended without an outcome (exit status %1).")
                  .arg(exitCode);
    return result;
}

void StationPort::childEnded(int exitCode, QProcess::ExitStatus status) {
    readLines();
    errors_ += child_->readAllStandardError();
    const ModuleResult ended = result(exitCode, status);
    child_.release()->deleteLater();
    // Its record is complete now.
    if (onRecorded)
        onRecorded();
    // With repeat, a child counts once a module made itself known; one that only waited (its
    // port did not open, vanished, or the station was stopped) does not, unless it crashed.
    const bool counted = !repeat_ || !ended.module.isEmpty() || !outcome_;
    if (counted) {
        results_.push_back(ended);
        status_ = outcomeWord(ended.ended.outcome);
        acknowledged_ = false;
        if (onChange)
            onChange(
                QStringLiteral("%1 after %2 s").arg(status_).arg(ended.ended.seconds, 0, 'f', 1));
        if (onModuleEnded)
            onModuleEnded();
    }
    if (repeat_ && !stopping_) {
        // A port that vanished took its module with it; one that stayed may still hold it.
        const bool portGone = ended.ended.code == ReasonCode::PortLost ||
                              ended.ended.code == ReasonCode::PortUnavailable;
        if (portGone)
            nextModuleOnly_ = false;
        else if (counted)
            nextModuleOnly_ = true;
        if (counted && holdFailures_ && ended.ended.outcome != Outcome::Success) {
            held_ = true;  // until acknowledge()
            return;
        }
        if (counted)
            startChild();
        else
            restart_.start(kRestartPauseMs);
        return;
    }
    finished_ = true;
    if (onFinished)
        onFinished();
}

PortView StationPort::view() const {
    const bool running = child_ && child_->state() != QProcess::NotRunning;
    if (running || restart_.isActive() || results_.empty())
        return runningView();
    PortView view;
    view.port = port_;
    view.done = static_cast<int>(results_.size());
    const ModuleResult& last = results_.back();
    view.module = last.module;
    view.image = last.image;
    view.word = outcomeWord(last.ended.outcome);
    view.english = english_;
    view.german = german_;
    view.outcome = last.ended.outcome;
    view.percent = last.ended.outcome == Outcome::Success ? 100 : last.percent;
    view.seconds = last.ended.seconds;
    const bool passed = last.ended.outcome == Outcome::Success;
    view.state = passed ? PortState::Passed : acknowledged_ ? PortState::Idle : PortState::Failed;
    view.held = held_;
    if (!passed)
        view.reason = last.ended.reason;
    return view;
}

PortView StationPort::runningView() const {
    const bool running = child_ && child_->state() != QProcess::NotRunning;
    PortView view;
    view.port = port_;
    view.done = static_cast<int>(results_.size());
    view.module = module_;
    view.image = image_;
    view.percent = percent_;
    view.english = english_;
    view.german = german_;
    view.waiting = repeat_ && module_.isEmpty() && !results_.empty();
    view.word = view.waiting ? QStringLiteral("waiting") : status_;
    view.seconds = since_.isValid() ? since_.elapsed() / 1000.0 : 0;
    if (!running && !restart_.isActive()) {
        view.state = PortState::Idle;
        view.word.clear();
        view.seconds = 0;
        return view;
    }
    // A port that waits for its module, the first or the next one.
    view.state = repeat_ && module_.isEmpty() ? PortState::Waiting : PortState::Running;
    if (view.waiting) {
        const ModuleResult& last = results_.back();
        view.module = last.module;
        view.image = last.image;
        view.percent = -1;
        // A failed module stays on the screen as failed until it is taken off, or its failure
        // was acknowledged.
        if (last.ended.outcome != Outcome::Success && !moduleLeft_ && nextModuleOnly_ &&
            !acknowledged_) {
            view.word = outcomeWord(last.ended.outcome);
            view.outcome = last.ended.outcome;
            view.percent = last.percent;
            view.takeOff = true;
            view.state = PortState::Failed;
            view.reason = last.ended.reason;
        }
    }
    return view;
}

QString updateProgramBeside() {
    const QFileInfo self(QCoreApplication::applicationFilePath());
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("tarvel-update.exe");
#else
    const QString name = QStringLiteral("tarvel-update");
#endif
    if (self.fileName() == name)
        return self.filePath();
    return self.dir().filePath(name);
}

}  // namespace tarvel
