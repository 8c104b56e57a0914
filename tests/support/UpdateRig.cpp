#include "tests/support/UpdateRig.h"

namespace tarvel::test {

UpdateRig::UpdateRig() {
    load({1});
    form->link.com_Click(1);
    serial.peer = [this](const QByteArray& bytes) {
        writes.append({time.seconds(), bytes});
        if (module)
            module(bytes);
    };
}

QList<QByteArray> UpdateRig::sent() const {
    QList<QByteArray> result;
    for (const HostWrite& write : writes)
        result << write.bytes;
    return result;
}

int UpdateRig::countSent(const QByteArray& bytes) const {
    int count = 0;
    for (const HostWrite& write : writes)
        count += write.bytes == bytes ? 1 : 0;
    return count;
}

QByteArray UpdateRig::wire() const {
    QByteArray all;
    for (const HostWrite& write : writes)
        all += write.bytes;
    return all;
}

QByteArray requestImage(int sectors) {
    QByteArray image(sectors * 65536, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 7 + i / 65536) & 0xFF);
    return image;
}

QByteArray ackImage(int sectors, const std::function<bool(int, int)>& isData) {
    QByteArray image(64, 'H');
    for (int sector = 0; sector < sectors; ++sector) {
        for (int block = 0; block < 64; ++block) {
            QByteArray data(1024, static_cast<char>(0xFF));
            if (isData(sector, block)) {
                for (int k = 0; k < 1024; ++k)
                    data[k] = static_cast<char>((k + block * 3 + sector * 11) & 0xFF);
            }
            image += data;
        }
    }
    return image;
}

}  // namespace tarvel::test
