#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>

#include <optional>

namespace tarvel {

// An image read into memory once, so that the bytes checked (and hashed) are the bytes sent: a
// file changed on the disk after its check never reaches the module. The largest image is
// 16 MiB (kLargestImage).
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

// No image is larger: 255 sectors and a header.
constexpr qint64 kLargestImage = 64 + 255 * qint64(65536);

// A file too large for an image, held by its size alone: every check refuses it by its length
// before it would read a byte.
class OversizeImage : public ReadableFile {
  public:
    explicit OversizeImage(qint64 size) : size_(size) {}
    qint64 size() const override { return size_; }
    QByteArray read(qint64) override { return QByteArray(); }
    QByteArray readAt(qint64, qint64) override { return QByteArray(); }

  private:
    qint64 size_;
};

// The whole file; nothing when it cannot be opened or read to its end, or when it is larger than
// any image (its size in *oversize then), which is never read: an 8 GB file on a share would not
// fit in memory.
std::optional<QByteArray> readWholeImage(const FileSystem& files, const QString& path,
                                         qint64* oversize = nullptr);

}  // namespace tarvel
