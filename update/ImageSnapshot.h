#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>

#include <optional>

namespace tarvel {

// An image read into memory once, so that the bytes checked (and hashed) are the bytes sent: a
// file changed on the disk after its check never reaches the module. The largest image is
// 16 MiB.
class ImageSnapshot : public ReadableFile {
  public:
    explicit ImageSnapshot(QByteArray bytes) : bytes_(std::move(bytes)) {}
    qint64 size() const override { return bytes_.size(); }
    QByteArray read(qint64 maxSize) override {
        const QByteArray piece = bytes_.mid(position_, maxSize);
        position_ += piece.size();
        return piece;
    }
    QByteArray readAt(qint64 offset, qint64 size) override { return bytes_.mid(offset, size); }

  private:
    QByteArray bytes_;
    qint64 position_ = 0;
};

// The whole file; nothing when it cannot be opened or read to its end.
std::optional<QByteArray> readWholeImage(const FileSystem& files, const QString& path);

}  // namespace tarvel
