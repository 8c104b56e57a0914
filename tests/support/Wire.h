#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <array>
#include <functional>
#include <numeric>
#include <ostream>

namespace tarvel::test {

// The modules' words on the line, and images to send them, for every test.

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes the file, and the folders it lies in.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size();
}

// Two-letter announcements of the modules that ask for their sectors; all get DVB-GEN images.
inline const std::array<QByteArray, 6> kAnnouncements = {"UP", "SA", "TE", "SL", "SC", "TC"};

// The probed module types in the order the host tries them, with the image each one gets.
struct ProbedType {
    QByteArray code;
    QString image;
};
inline const std::array<ProbedType, 7> kProbedTypes = {{{"DVBSAT", "DVB-SAT-1.bin"},
                                                        {"DVBSLV", "DVB-SLV-1.bin"},
                                                        {"DVBTER", "DVB-TER-1.bin"},
                                                        {"DVBSCI", "DVB-SCI-1.bin"},
                                                        {"DVBSCR", "DVB-SCR-1.bin"},
                                                        {"DVBSCO", "DVB-SCO-1.bin"},
                                                        {"DVBTCI", "DVB-TCI-1.bin"}}};

inline const QByteArray kSwitchCheck(12, 'X');  // the setup-switch check

// A command of the acknowledged transfer: its letter and one byte.
inline QByteArray cmd(char command, int argument) {
    return QByteArray(1, command) + static_cast<char>(argument);
}

inline QByteArray withXor(const QByteArray& block) {
    char sum = 0;
    for (const char byte : block)
        sum = static_cast<char>(sum ^ byte);
    return block + sum;
}

// The bytes 0 to 255 in order.
inline QByteArray everyByteValue() {
    QByteArray bytes(256, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    return bytes;
}

// A request-driven image: raw 64 KiB sectors holding bytes of every value, no two sectors alike.
inline QByteArray requestImage(int sectors) {
    QByteArray image(sectors * 65536, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 7 + i / 65536) & 0xFF);
    return image;
}

// An acknowledged image: a 64-byte header, then sectors of 64 blocks of 1024 bytes, blank (0xFF)
// except the data blocks that isData names.
inline QByteArray ackImage(int sectors, const std::function<bool(int sector, int block)>& isData) {
    QByteArray image(64, 'H');
    for (int sector = 0; sector < sectors; ++sector) {
        for (int block = 0; block < 64; ++block) {
            QByteArray data(1024, '\xff');
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

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// Byte strings in test failures: printable characters as they are, others as \xNN, long ones by
// their size.
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    if (bytes.size() > 64) {
        *os << "<" << bytes.size() << " bytes>";
        return;
    }
    *os << '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f)
            *os << c;
        else
            *os << "\\x"
                << "0123456789abcdef"[u >> 4] << "0123456789abcdef"[u & 15];
    }
    *os << '"';
}
