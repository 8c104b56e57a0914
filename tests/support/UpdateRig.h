#pragma once

#include "tests/support/Rig.h"

#include <QList>

#include <functional>

namespace tarvel::test {

// One write of the host, as the module saw it, and when.
struct HostWrite {
    double at;
    QByteArray bytes;
};

// The main window's logic with Com1 open to a module the test plays: every write of the host
// is logged and handed to `module`, which answers through reply().
struct UpdateRig : Rig {
    UpdateRig();

    void reply(const QByteArray& bytes, double delay = 0.005) { serial.deliver(bytes, delay); }
    // The writes, and the writes that start with a prefix.
    QList<QByteArray> sent() const;
    int countSent(const QByteArray& bytes) const;
    // Everything sent, in one piece.
    QByteArray wire() const;

    std::function<void(const QByteArray&)> module;
    QList<HostWrite> writes;
};

// An image for the request-driven transfer: sectors of 65536 bytes of a recognisable pattern.
QByteArray requestImage(int sectors);
// An image for the acknowledged transfer: a 64-byte header and sectors that are blank (0xFF)
// except for the data blocks named by isData(sector, block).
QByteArray ackImage(int sectors, const std::function<bool(int sector, int block)>& isData);

}  // namespace tarvel::test
