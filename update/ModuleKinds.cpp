#include "update/ModuleKinds.h"

#include <QRegularExpression>

namespace tarvel {

const std::array<ProbedType, 7>& probedTypes() {
    static const std::array<ProbedType, 7> types = {{
        {"DVBSAT", QStringLiteral("DVB-SAT*.bin")},
        {"DVBSLV", QStringLiteral("DVB-SLV*.bin")},
        {"DVBTER", QStringLiteral("DVB-TER*.bin")},
        {"DVBSCI", QStringLiteral("DVB-SCI*.bin")},
        {"DVBSCR", QStringLiteral("DVB-SCR*.bin")},
        {"DVBSCO", QStringLiteral("DVB-SCO*.bin")},
        {"DVBTCI", QStringLiteral("DVB-TCI*.bin")},
    }};
    return types;
}

QString announcedPattern() {
    return QStringLiteral("DVB-GEN*.bin");
}

namespace {
bool fits(const QString& fileName, const QString& pattern) {
    const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(pattern),
                                      QRegularExpression::CaseInsensitiveOption);
    return wildcard.match(fileName).hasMatch();
}
}  // namespace

std::optional<ImageKind> kindForName(const QString& fileName) {
    if (fits(fileName, announcedPattern()))
        return ImageKind{TransferKind::Request, 0};
    for (size_t i = 0; i < probedTypes().size(); ++i) {
        if (fits(fileName, probedTypes()[i].pattern))
            return ImageKind{TransferKind::Ack, static_cast<int>(i) + 1};
    }
    return std::nullopt;
}

}  // namespace tarvel
