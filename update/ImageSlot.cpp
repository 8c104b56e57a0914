#include "update/ImageSlot.h"

#include "update/ImageInspection.h"
#include "update/ImageSnapshot.h"

namespace tarvel {

ImageSlot::ImageSlot(const FileSystem& files) : files_(files) {}

ImageSlot::~ImageSlot() = default;

void ImageSlot::keep(const QString& path, std::optional<QByteArray> bytes) {
    bytes_ = std::move(bytes);
    oversize_ = 0;
    path_ = path;
    sha256_.clear();
}

void ImageSlot::read(const QString& path) {
    qint64 oversize = 0;
    keep(path, readWholeImage(files_, path, &oversize));
    oversize_ = oversize;
}

// Hashing the largest image takes a good part of a second: once per update is enough.
const QByteArray& ImageSlot::sha256() {
    if (sha256_.isEmpty() && bytes_)
        sha256_ = sha256Of(*bytes_);
    return sha256_;
}

bool ImageSlot::hold(const QString& path) {
    if (!bytes_ || path_ != path)
        read(path);
    return bytes_.has_value();
}

bool ImageSlot::open(const QString& path) {
    close();
    if (hold(path))
        file_ = std::make_unique<ImageSnapshot>(*bytes_);
    else if (oversize_ > 0)
        file_ = std::make_unique<OversizeImage>(oversize_);
    return file_ != nullptr;
}

void ImageSlot::close() {
    file_.reset();
}

}  // namespace tarvel
