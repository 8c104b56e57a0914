#pragma once

#include <QByteArray>
#include <QList>

namespace tarvel {

// tarvel-update inspect FILE... [--kind request|ack] [--json]: whether an update would accept
// each image, and what its update would cost. arguments are the program's own as bytes (see
// argumentBytes), "inspect" the first after its name. Returns the exit status: 0 every image
// usable, 1 any refused, 2 bad usage.
int runInspect(const QList<QByteArray>& arguments);

}  // namespace tarvel
