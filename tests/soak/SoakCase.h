#pragma once

#include "sim/ModuleModel.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <string>

namespace tarvel::test {

// The faults a soak case may give its module, each aimed at one of the module's replies.
enum class SoakFault {
    SilentForATime,
    SilentForGood,
    Error,      // "E!" instead of the reply
    Garbage,    // two characters before the reply
    DropReply,  // the reply's first characters lost
    DropHost,   // the host's next bytes lost
    Late,       // the reply late
    HangUp,
};
constexpr int kSoakFaultKinds = 8;
const char* faultName(SoakFault fault);

struct AimedFault {
    SoakFault kind;
    int atReply = 0;
    double seconds = 0;  // silence or lateness
    int count = 0;       // characters dropped
};

// One randomised whole update, derived from its case number alone.
struct SoakCase {
    int number = 0;
    bool acknowledged = false;  // a probed module and the acknowledged transfer
    int sectors = 1;
    QString imageName;
    QByteArray image;
    QList<bool> visited;  // sectors the host's walk writes (all of them when request-driven)
    int dataBlocks = 0;   // acknowledged: data blocks the walk visits
    double lineBytesPerSecond = 0;
    int cleanReplies = 0;  // replies of the module in an update without faults
    QList<AimedFault> faults;
    sim::ModuleConfig module;
};

SoakCase makeSoakCase(int number);
std::string describe(const SoakCase& soakCase);
// Whether the module's flash holds what the update was to write.
bool flashHoldsImage(const SoakCase& soakCase, const QByteArray& flash);

}  // namespace tarvel::test
