#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvel {

// What this station remembers of the signed lists it has used: for each release key (its id as
// keyIdText writes it), the timestamp of the newest list with which a transfer has begun. The
// engine asks once per update, as it chooses the image, before the first byte of the transfer,
// and the answer comes within a bounded wait; the record keeps it (UpdateRecord, in the history).
class ReleaseMemory {
  public:
    struct Newest {
        std::optional<qint64> timestamp;  // seconds since 1970, UTC; none: no list of that key yet
        QString problem;                  // why it cannot be told; empty when it can
    };

    virtual ~ReleaseMemory() = default;
    virtual Newest newestAccepted(const QString& keyId) = 0;
};

}  // namespace tarvel
