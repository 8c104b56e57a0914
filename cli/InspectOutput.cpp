#include "cli/InspectOutput.h"

#include "platform/ShownText.h"
#include "platform/qt/QtFileSystem.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tarvel {

namespace {
constexpr int kJsonSchema = 1;

const ImageKind* kindOf(const InspectedFile& file) {
    return file.inspection.kind ? &*file.inspection.kind : nullptr;
}

QString line(const char* label, const QString& text) {
    return QStringLiteral("  %1 %2\n").arg(QLatin1String(label), -11).arg(text);
}

QString sectorsText(qint64 sectors) {
    return QStringLiteral("%1 sector%2").arg(sectors).arg(sectors == 1 ? "" : "s");
}

QString transferText(const InspectedFile& file) {
    const ImageKind* kind = kindOf(file);
    if (!kind)
        return QStringLiteral("unknown: give --kind request or --kind ack");
    if (kind->transfer == TransferKind::Request)
        return file.kindFromName ? QStringLiteral("request-driven (by its name)")
                                 : QStringLiteral("request-driven (by --kind)");
    if (!file.kindFromName)
        return QStringLiteral("acknowledged (by --kind), found by the first probe");
    return QStringLiteral("acknowledged (by its name), found by probe %1 (%2)")
        .arg(kind->probes)
        .arg(QString::fromLatin1(probedTypes().at(kind->probes - 1).code));
}

// "valid, key 4A1C..., "release 2.00 for line 3"", "invalid (why)", "none".
QString signatureText(const InspectedFile::Signature& signature) {
    if (signature.state == QLatin1String("valid"))
        return QStringLiteral("valid, key %1, \"%2\"")
            .arg(signature.keyId, shownText(signature.comment));
    if (signature.state == QLatin1String("invalid"))
        return QStringLiteral("invalid (%1)").arg(shownText(signature.why));
    if (signature.state == QLatin1String("not-checked"))
        return QStringLiteral("not checked: no trusted key is installed");
    return signature.state;
}

QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

double hundredths(double seconds) {
    return std::round(seconds * 100) / 100;
}
}  // namespace

QString shownName(const QByteArray& name) {
    return shownText(QtFileSystem::nameText(name));
}

QString humanReport(const InspectedFile& file) {
    const ImageInspection& inspection = file.inspection;
    const ImageCheck& check = inspection.check;
    QString text = file.path + QLatin1Char('\n');
    if (inspection.size) {
        QString size = byteCountText(*inspection.size);
        if (check.sectors)
            size += QStringLiteral(", ") + sectorsText(*check.sectors);
        text += line("size", size);
        text += line("transfer", transferText(file));
    }
    if (check.walk) {
        text += line("walk", QStringLiteral("%1 data blocks, %2 blank blocks, %3 visited, "
                                            "%4 write commands")
                                 .arg(check.walk->dataBlocks)
                                 .arg(check.walk->blankBlocks)
                                 .arg(sectorsText(check.walk->sectorsVisited))
                                 .arg(check.walk->sectorsVisited));
    }
    if (inspection.forecast) {
        text += line("to module", byteCountText(inspection.forecast->bytesToModule));
        text += line("takes", QStringLiteral("%1 at 115200 baud (%2 s)")
                                  .arg(durationText(inspection.forecast->seconds))
                                  .arg(hundredths(inspection.forecast->seconds)));
    }
    if (!file.sha256.isEmpty())
        text += line("sha256", QString::fromLatin1(file.sha256));
    text += line("approved", !file.approval ? QStringLiteral("no list")
                             : file.approval->isEmpty()
                                 ? QStringLiteral("yes")
                                 : QStringLiteral("no (%1)").arg(*file.approval));
    if (file.signature)
        text += line("signature", signatureText(*file.signature));
    text += line("verdict", inspection.usable() ? QStringLiteral("usable")
                                                : QStringLiteral("refused: ") + check.problem);
    return text + QLatin1Char('\n');
}

QByteArray jsonReport(const InspectedFile& file) {
    const ImageInspection& inspection = file.inspection;
    const ImageCheck& check = inspection.check;
    const ImageKind* kind = kindOf(file);
    const bool ack = kind && kind->transfer == TransferKind::Ack;
    const auto countOrNull = [](const auto& value) {
        return value ? QJsonValue(static_cast<qint64>(*value)) : QJsonValue();
    };
    QJsonObject object{
        {"schema", kJsonSchema},
        {"file", file.path},
        {"file_bytes", QString::fromLatin1(file.name.toHex())},
        {"size", countOrNull(inspection.size)},
        {"kind", kind ? QJsonValue(ack ? "ack" : "request") : QJsonValue()},
        {"sectors", countOrNull(check.sectors)},
        {"data_blocks", check.walk ? QJsonValue(check.walk->dataBlocks) : QJsonValue()},
        {"blank_blocks", check.walk ? QJsonValue(check.walk->blankBlocks) : QJsonValue()},
        {"bytes_to_module",
         inspection.forecast ? QJsonValue(inspection.forecast->bytesToModule) : QJsonValue()},
        {"predicted_seconds",
         inspection.forecast ? QJsonValue(hundredths(inspection.forecast->seconds)) : QJsonValue()},
        {"sha256", file.sha256.isEmpty() ? QJsonValue() : QJsonValue(QString(file.sha256))},
        {"usable", inspection.usable()},
        {"reason", inspection.usable() ? QJsonValue() : QJsonValue(check.problem)},
        {"approved", file.approval ? QJsonValue(file.approval->isEmpty()) : QJsonValue()},
        {"approval_reason",
         file.approval && !file.approval->isEmpty() ? QJsonValue(*file.approval) : QJsonValue()},
    };
    if (file.signature) {
        object.insert("signature", file.signature->state);
        object.insert("signing_key", textOrNull(file.signature->keyId));
        object.insert("trusted_comment", textOrNull(file.signature->comment));
        object.insert("signature_problem", textOrNull(file.signature->why));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace tarvel
