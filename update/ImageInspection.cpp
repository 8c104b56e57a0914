#include "update/ImageInspection.h"

#include "platform/FileSystem.h"

#include <QCryptographicHash>
#include <QLocale>

#include <cmath>

namespace tarvel {

ImageInspection inspectImage(const FileSystem& files, const QString& path,
                             std::optional<ImageKind> kind) {
    ImageInspection inspection;
    inspection.kind = kind;
    const std::unique_ptr<ReadableFile> image = files.openForReading(path, nullptr);
    if (image)
        inspection.size = image->size();
    if (!kind) {
        inspection.check.problem =
            image ? QStringLiteral(
                        "its name fits none of the module patterns, so its transfer "
                        "is unknown")
                  : cannotBeOpened();
        return inspection;
    }
    inspection.check = checkImage(image.get(), kind->transfer);
    if (!inspection.usable())
        return inspection;
    inspection.forecast = kind->transfer == TransferKind::Request
                              ? forecastRequest(*inspection.check.sectors)
                              : forecastAck(*inspection.check.walk, kind->probes);
    return inspection;
}

QByteArray sha256Of(const FileSystem& files, const QString& path) {
    const std::unique_ptr<ReadableFile> file = files.openForReading(path, nullptr);
    if (!file)
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 hashed = 0;
    for (;;) {
        const QByteArray piece = file->read(1 << 20);
        if (piece.isEmpty())
            break;
        hash.addData(piece);
        hashed += piece.size();
    }
    return hashed == file->size() ? hash.result().toHex() : QByteArray();
}

QByteArray sha256Of(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QString byteCountText(qint64 bytes) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(bytes) +
           QStringLiteral(" bytes");
}

QString durationText(double seconds) {
    const qint64 whole = std::llround(seconds);
    if (whole < 60)
        return QStringLiteral("about %1 s").arg(whole);
    return QStringLiteral("about %1 min %2 s").arg(whole / 60).arg(whole % 60);
}

}  // namespace tarvel
