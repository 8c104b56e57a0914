#include "status/Outcome.h"

#include <array>

namespace tarvel {

namespace {
struct OutcomeRow {
    Outcome outcome;
    const char* word;
    ExitStatus exit;
};
// clang-format off
constexpr std::array<OutcomeRow, 10> kOutcomes{{
    {Outcome::Success,     "success",     kExitSuccess},
    {Outcome::Error,       "error",       kExitFailed},
    {Outcome::NoImage,     "no-image",    kExitUsage},
    {Outcome::Refused,     "refused",     kExitUsage},
    {Outcome::Cancelled,   "cancelled",   kExitFailed},
    {Outcome::Timeout,     "timeout",     kExitTimeout},
    {Outcome::Interrupted, "interrupted", kExitInterrupted},
    {Outcome::Running,     "running",     kExitFailed},
    {Outcome::Unfinished,  "unfinished",  kExitFailed},
    {Outcome::Crashed,     "crashed",     kExitFailed},
}};
// clang-format on

const OutcomeRow& rowOf(Outcome outcome) {
    return kOutcomes.at(static_cast<std::size_t>(outcome));
}
}  // namespace

QString outcomeWord(Outcome outcome) {
    return QString::fromLatin1(rowOf(outcome).word);
}

ExitStatus exitStatusOf(Outcome outcome) {
    return rowOf(outcome).exit;
}

bool isFailure(Outcome outcome) {
    return outcome != Outcome::Success && outcome != Outcome::Running;
}

std::optional<Outcome> outcomeFromWord(const QString& word) {
    for (const OutcomeRow& row : kOutcomes) {
        if (word == QLatin1String(row.word))
            return row.outcome;
    }
    return std::nullopt;
}

ExitStatus worseExitStatus(ExitStatus a, ExitStatus b) {
    // clang-format off
    constexpr std::array<ExitStatus, 5> kLeastToWorst{
        kExitSuccess, kExitFailed, kExitTimeout, kExitUsage, kExitInterrupted};
    // clang-format on
    const auto rank = [&kLeastToWorst](ExitStatus status) {
        for (std::size_t i = 0; i < kLeastToWorst.size(); ++i) {
            if (kLeastToWorst[i] == status)
                return i;
        }
        return std::size_t{1};
    };
    return rank(b) > rank(a) ? b : a;
}

const QStringList& outcomeWords() {
    static const QStringList words = [] {
        QStringList all;
        for (const OutcomeRow& row : kOutcomes) {
            if (row.outcome != Outcome::Crashed)
                all << QString::fromLatin1(row.word);
        }
        return all;
    }();
    return words;
}

namespace {
// Each code with its word and what a technician reads of it: what happened, then what to check
// (empty where there is nothing to check), in English and in German.
struct ReasonRow {
    ReasonCode code;
    const char* word;
    const char* happened;
    const char* check;
    const char* geschehen;
    const char* pruefen;
};
// clang-format off
const std::array<ReasonRow, kReasonCodeCount> kReasons{{
    {ReasonCode::Completed, "completed",
     "The module confirmed the end.", "",
     "Das Modul hat das Ende bestätigt.", ""},
    {ReasonCode::SwitchOff, "switch-off",
     "The module's setup switch is OFF.", "Turn it to ON, then start again.",
     "Der Setup-Schalter des Moduls steht auf OFF.", "Auf ON stellen, dann neu starten."},
    {ReasonCode::NoAnswer, "no-answer",
     "The module did not answer.",
     "Check the cable, the module's power and the chosen port.",
     "Das Modul hat nicht geantwortet.",
     "Kabel, Stromversorgung des Moduls und gewählte Schnittstelle prüfen."},
    {ReasonCode::NoConfirmation, "no-confirmation",
     "The module answered but did not confirm the test.", "Check the cable, then test again.",
     "Das Modul hat geantwortet, den Test aber nicht bestätigt.",
     "Kabel prüfen, dann erneut testen."},
    {ReasonCode::UnknownModule, "unknown-module",
     "Something answered, but not as a known module.",
     "Check that a module is plugged in and its setup switch is ON.",
     "Es kam eine Antwort, aber nicht von einem bekannten Modul.",
     "Prüfen, ob ein Modul gesteckt ist und sein Setup-Schalter auf ON steht."},
    {ReasonCode::NoImage, "no-image",
     "No firmware image for this module in the image folder.",
     "Add the module's image, then update again.",
     "Kein Firmware-Image für dieses Modul im Image-Ordner.",
     "Image des Moduls hinzufügen, dann erneut updaten."},
    {ReasonCode::NotApproved, "not-approved",
     "No approved firmware image for this module.",
     "Put the approved image into the image folder, then update again.",
     "Kein freigegebenes Firmware-Image für dieses Modul.",
     "Freigegebenes Image in den Image-Ordner legen, dann erneut updaten."},
    {ReasonCode::NotSigned, "not-signed",
     "The approved list is not signed, and this station accepts only signed lists.",
     "Get the list with its signature (.minisig) from the release team, then update again.",
     "Die Freigabeliste ist nicht signiert, und diese Station nimmt nur signierte Listen an.",
     "Liste mit Signatur (.minisig) vom Release-Team holen, dann erneut updaten."},
    {ReasonCode::BadSignature, "bad-signature",
     "The approved list was changed after it was signed, or its signature is damaged.",
     "Get the list and its signature again from the release team; do not edit the list.",
     "Die Freigabeliste wurde nach dem Signieren geändert, oder ihre Signatur ist beschädigt.",
     "Liste und Signatur neu vom Release-Team holen; die Liste nicht bearbeiten."},
    {ReasonCode::UntrustedKey, "untrusted-key",
     "The approved list was signed with a key this station does not trust.",
     "Ask the release team which key signed it; install that key only if it is theirs.",
     "Die Freigabeliste wurde mit einem Schlüssel signiert, dem diese Station nicht vertraut.",
     "Beim Release-Team nachfragen, welcher Schlüssel signiert hat; nur deren Schlüssel "
     "installieren."},
    {ReasonCode::OlderRelease, "older-release",
     "The approved list is older than one this station has already used.",
     "Get the newest list from the release team; only an expert may use an older one, once.",
     "Die Freigabeliste ist älter als eine, die diese Station schon verwendet hat.",
     "Neueste Liste vom Release-Team holen; eine ältere darf nur ein Experte einmal "
     "verwenden."},
    {ReasonCode::ImageRefused, "image-refused",
     "The firmware image cannot be used.",
     "Check or replace the image file, then update again.",
     "Das Firmware-Image kann nicht verwendet werden.",
     "Image-Datei prüfen oder ersetzen, dann erneut updaten."},
    {ReasonCode::RecoveryExhausted, "recovery-exhausted",
     "The module stopped answering and could not be brought back.",
     "Check the cable and the module's power, then update again; if it fails again, pull "
     "the module.",
     "Das Modul antwortete nicht mehr und ließ sich nicht zurückholen.",
     "Kabel und Stromversorgung prüfen, dann erneut updaten; scheitert es wieder, das Modul "
     "ziehen."},
    {ReasonCode::ModuleError, "module-error",
     "The module refused the same step again and again.",
     "Update once more; if it fails again, the module is faulty: pull it.",
     "Das Modul hat denselben Schritt immer wieder abgelehnt.",
     "Noch einmal updaten; scheitert es wieder, ist das Modul defekt: ziehen."},
    {ReasonCode::PortLost, "port-lost",
     "The connection to the port was lost.",
     "Check the USB adapter and its cable, then update again.",
     "Die Verbindung zur Schnittstelle ging verloren.",
     "USB-Adapter und Kabel prüfen, dann erneut updaten."},
    {ReasonCode::PortUnavailable, "port-unavailable",
     "No usable port.", "Check that the adapter is plugged in and the module's port is chosen.",
     "Keine nutzbare Schnittstelle.",
     "Prüfen, ob der Adapter gesteckt und die Schnittstelle des Moduls gewählt ist."},
    {ReasonCode::Timeout, "timeout",
     "The time limit ran out before the end.", "",
     "Das Zeitlimit lief vor dem Ende ab.", ""},
    {ReasonCode::Interrupted, "interrupted",
     "Interrupted by Ctrl+C or a stop signal before the end.", "",
     "Vor dem Ende durch Strg+C oder ein Stoppsignal unterbrochen.", ""},
    {ReasonCode::Cancelled, "cancelled",
     "Stopped as the program was closed.", "",
     "Beim Schließen des Programms abgebrochen.", ""},
    {ReasonCode::Usage, "usage",
     "The command line was refused before anything was sent.", "Check the command's options.",
     "Die Befehlszeile wurde abgelehnt, bevor etwas gesendet wurde.",
     "Optionen des Befehls prüfen."},
    {ReasonCode::Crashed, "crashed",
     "The update's process ended without telling how the update ended.",
     "Look at what it said on stderr, then update again; if it happens again, report it.",
     "Der Update-Prozess endete, ohne zu melden, wie das Update ausging.",
     "Seine Meldungen auf stderr ansehen, dann erneut updaten; geschieht es wieder, melden."},
}};
// clang-format on

const ReasonRow* reasonRowOf(ReasonCode code) {
    for (const ReasonRow& row : kReasons) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

// "The module stopped answering and could not be brought back (sector 23, block 4). Check ...":
// the place goes at the end of what happened, before its full stop.
QString adviceText(const char* happened, const QString& place, const char* check) {
    QString text = QString::fromUtf8(happened);
    if (!place.isEmpty())
        text.insert(text.size() - 1, QStringLiteral(" (") + place + QLatin1Char(')'));
    if (*check != '\0')
        text += QLatin1Char(' ') + QString::fromUtf8(check);
    return text;
}
}  // namespace

QString reasonCodeText(ReasonCode code) {
    const ReasonRow* row = reasonRowOf(code);
    return row ? QString::fromLatin1(row->word) : QString();
}

std::optional<ReasonCode> reasonCodeFromText(const QString& text) {
    for (const ReasonRow& row : kReasons) {
        if (text == QLatin1String(row.word))
            return row.code;
    }
    return std::nullopt;
}

ReasonAdvice adviceFor(const Reason& reason) {
    const ReasonRow* row = reasonRowOf(reason.code);
    if (!row)
        return {};
    QString place, ort;
    if (reason.sector) {
        place = QStringLiteral("sector ") + QString::number(*reason.sector);
        ort = QStringLiteral("Sektor ") + QString::number(*reason.sector);
        if (reason.block) {
            place += QStringLiteral(", block ") + QString::number(*reason.block);
            ort += QStringLiteral(", Block ") + QString::number(*reason.block);
        }
    }
    return {adviceText(row->happened, place, row->check),
            adviceText(row->geschehen, ort, row->pruefen)};
}

}  // namespace tarvel
