#pragma once

#include "status/ExchangeEvents.h"

#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <optional>

namespace tarvel {

// The session's events as JSON Lines for software that drives the command line: one object per
// event on its own line, flushed as it happens, each with "t" (seconds since the exchange began)
// and "event". The "start" line carries "schema"; the last line of a run is always its
// "outcome".
class JsonStream : public ExchangeListener {
  public:
    // 2: duration_s ends before any box waits for the technician; the outcome has reason_code
    // and reason; every stream starts with "start", also one that never became an exchange.
    static constexpr int kSchema = 2;

    // version: the program's ("1.0.0").
    JsonStream(std::FILE* out, QString version) : out_(out), version_(std::move(version)) {}

    void exchangeStarted(const ExchangeStarted& event) override;
    void statusChanged(const StatusChanged& event) override;
    void activityChanged(const ActivityChanged& event) override;
    void progressChanged(const ProgressChanged& event) override;
    void imageChosen(const ImageChosen& event) override;
    void moduleIdentified(const ModuleIdentified& event) override;
    void moduleLeft(const ModuleLeft& event) override;
    void notice(const Notice& event) override;
    void messageShown(const MessageShown& event) override;
    void exchangeEnded(const ExchangeEnded& event) override;
    void logOpened(const LogOpened& event) override;

    // A run that never became an exchange: refused for its usage, or its port could not be
    // opened. kind and port as far as they are known; refused, with the exit status 2.
    void endWithoutExchange(const QString& kind, const QString& port, const Reason& reason);

  private:
    void write(double t, const char* event, QJsonObject fields);

    std::FILE* out_;
    QString version_;
    QString log_;  // of the running exchange, once the record has opened it
};

}  // namespace tarvel
