#pragma once

#include <QString>

#include <functional>

namespace tarvel {

// Where the rows of this station's own history go beyond it (the line's history), as the record
// sees it: told whenever the history changed, and once at the end. The record knows no server;
// the front end that knows the settings makes the forwarding and hands it over.
class RowForwarding {
  public:
    virtual ~RowForwarding() = default;

    // Rows may wait in the outbox: look now.
    virtual void poke() = 0;
    // One last pass, bounded; empty when nothing stays behind, otherwise a sentence on what does.
    virtual QString finish() = 0;

    // Told on the thread that made the forwarding.
    std::function<void(const QString& warning)> onWarning;
};

}  // namespace tarvel
