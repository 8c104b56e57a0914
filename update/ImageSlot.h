#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace tarvel {

class FileSystem;
class ReadableFile;

// The image file slot that both transfers share. An update reads its image into memory once,
// so that the bytes checked (and hashed) are the bytes sent; the slot opens on those bytes.
class ImageSlot {
  public:
    explicit ImageSlot(const FileSystem& files);
    ~ImageSlot();

    // Takes bytes as the image at path for this update; nothing: it could not be read.
    void keep(const QString& path, std::optional<QByteArray> bytes);
    // Reads path whole and keeps it.
    void read(const QString& path);
    // Reads path unless its bytes are kept already; false when it cannot be read.
    bool hold(const QString& path);
    void forget() { keep(QString(), std::nullopt); }
    const std::optional<QByteArray>& bytes() const { return bytes_; }
    // The size of a file too large for any image, which was not read; 0 for any other.
    qint64 oversize() const { return oversize_; }
    // The SHA-256 in hexadecimal of the bytes kept; worked out once.
    const QByteArray& sha256();

    // Opens the slot on the image of path, read once per update; false when it cannot be read.
    // A file too large for any image opens by its size alone, for the checks to refuse.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    ReadableFile& file() { return *file_; }

  private:
    const FileSystem& files_;
    std::optional<QByteArray> bytes_;
    qint64 oversize_ = 0;
    QString path_;
    QByteArray sha256_;
    std::unique_ptr<ReadableFile> file_;
};

}  // namespace tarvel
