#pragma once

#include <QString>
#include <QtGlobal>

namespace tarvel {

// Colours of the status word and the activity indicator, 0x00BBGGRR.
constexpr quint32 kBlack = 0x000000;
constexpr quint32 kRed = 0x0000FF;
constexpr quint32 kGreen = 0x00C000;

// The bilingual status texts. Every instruction comes as a pair: English, then German.
namespace texts {
inline QString readyWord() {
    return QStringLiteral("Ready");
}
inline QString readyEnglish() {
    return QStringLiteral(
        "To start update procedure turn setup switch to ON and press Update button");
}
inline QString readyGerman() {
    return QStringLiteral(
        "Um den Update-Vorgang zu starten, den Setup-Schalter auf ON stellen und Update Button "
        "drücken");
}
inline QString checkingWord() {
    return QStringLiteral("Checking");
}
inline QString checkingEnglish() {
    return QStringLiteral("Checking module type for update, please wait");
}
inline QString checkingGerman() {
    return QStringLiteral("Prüfe Modultyp für Update-Vorgang, bitte warten");
}
inline QString warningWord() {
    return QStringLiteral("Warning");
}
inline QString warningEnglish() {
    return QStringLiteral("Please turn setup switch to ON to proceed");
}
inline QString warningGerman() {
    return QStringLiteral("Bitte Setup Schalter auf ON stellen, um fortzufahren");
}
inline QString runningWord() {
    return QStringLiteral("Running");
}
inline QString runningEnglish() {
    return QStringLiteral("Update in progress, please wait");
}
inline QString runningGerman() {
    return QStringLiteral("Update wird ausgeführt, bitte warten");
}
inline QString errorWord() {
    return QStringLiteral("Error");
}
inline QString errorEnglish() {
    return QStringLiteral("Update error. Automatical restart, please wait");
}
inline QString errorGerman() {
    return QStringLiteral("Update Fehler. Automatischer Neustart, bitte warten");
}
inline QString successWord() {
    return QStringLiteral("Update Successful / Update erfolgreich");
}
}  // namespace texts

// "V" and the version's three numbers without leading zeros: 2.00.0008 gives "V2.0.8".
inline QString versionText(int major, int minor, int revision) {
    return QStringLiteral("V%1.%2.%3").arg(major).arg(minor).arg(revision);
}

// A whole number as the status texts write it: decimal, with one leading blank when it is not
// negative (sector 0 shows as " 0", 25 per cent as " 25").
inline QString number(qint64 value) {
    return value < 0 ? QString::number(value) : QStringLiteral(" ") + QString::number(value);
}

}  // namespace tarvel
