#pragma once

#include <QByteArray>

#include <ostream>

// Shows short byte strings readably in test failures; long ones by their size only.
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    if (bytes.size() > 64) {
        *os << "<" << bytes.size() << " bytes>";
        return;
    }
    *os << '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f) {
            *os << c;
        } else {
            const char* digits = "0123456789abcdef";
            *os << "\\x" << digits[u >> 4] << digits[u & 15];
        }
    }
    *os << '"';
}
