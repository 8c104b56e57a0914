#pragma once

#include <QString>

namespace tarvel {

// The expert password, compared exactly: every character, letter case, no trimming.
inline bool isExpertPassword(const QString& text) {
    return text == QLatin1String("58014");
}

}  // namespace tarvel
