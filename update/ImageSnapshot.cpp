#include "update/ImageSnapshot.h"

namespace tarvel {

std::optional<QByteArray> readWholeImage(const FileSystem& files, const QString& path,
                                         qint64* oversize) {
    if (oversize)
        *oversize = 0;
    const std::unique_ptr<ReadableFile> file = files.openForReading(path, nullptr);
    if (!file)
        return std::nullopt;
    if (file->size() > kLargestImage) {
        if (oversize)
            *oversize = file->size();
        return std::nullopt;
    }
    QByteArray bytes;
    while (bytes.size() < file->size()) {
        const QByteArray piece = file->read(file->size() - bytes.size());
        if (piece.isEmpty())
            return std::nullopt;
        bytes += piece;
    }
    return bytes;
}

}  // namespace tarvel
