#include "cli/StationScreen.h"

#include "platform/ShownText.h"

#include <algorithm>

namespace tarvel {

namespace {

constexpr int kModuleWidth = 6;   // DVBSAT; announcements are two letters
constexpr int kPercentWidth = 4;  // 100%
constexpr int kWordWidth = 11;    // interrupted
constexpr int kTailWidth = 8;     // "  12.3 s", or "take off" for a failed module still there
constexpr int kLeastBar = 12;     // with its brackets
constexpr int kWidestBar = 42;    // a wider one tells no more
constexpr int kLeastImage = 8;    // …1.bin tells little, less tells nothing
constexpr int kWidestPort = 20;
constexpr int kGap = 2;
const QString kGapText = QStringLiteral("  ");

// ANSI colours of the status words: green a success, red a failure, yellow a wait or a stop.
const char* const kGreenText = "\033[32m";
const char* const kRedText = "\033[31m";
const char* const kYellowText = "\033[33m";
const char* const kPlainText = "\033[0m";

// A status word of a port still at work: "Successful", "Warning", "Error", "waiting".
const char* statusColor(const QString& word) {
    const QString lower = word.toLower();
    if (lower == QLatin1String("successful"))
        return kGreenText;
    if (lower == QLatin1String("waiting") || lower == QLatin1String("warning"))
        return kYellowText;
    if (lower == QLatin1String("error"))
        return kRedText;
    return nullptr;
}

const char* outcomeColor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Success:
            return kGreenText;
        case Outcome::Interrupted:
        case Outcome::Cancelled:
            return kYellowText;
        case Outcome::Error:
        case Outcome::NoImage:
        case Outcome::Refused:
        case Outcome::Timeout:
        case Outcome::Crashed:
            return kRedText;
        case Outcome::Running:
        case Outcome::Unfinished:
            break;
    }
    return nullptr;
}

const char* colorOf(const PortView& view) {
    return view.outcome ? outcomeColor(*view.outcome) : statusColor(view.word);
}

QString painted(const QString& text, const char* color, bool enabled) {
    return enabled && color ? QLatin1String(color) + text + QLatin1String(kPlainText) : text;
}

// A name cut at its start to fit: the end holds an image's kind and version (…SAT-1.0.8.bin).
QString fitted(const QString& text, int width) {
    if (text.size() <= width)
        return text;
    return QChar(0x2026) + text.right(width - 1);
}

QString countText(const PortView& view) {
    if (view.done > 1 || (view.done == 1 && view.waiting && !view.takeOff))
        return QStringLiteral("#%1").arg(view.done);
    return QString();
}

}  // namespace

StationColumns StationScreen::fit(const std::vector<PortView>& ports, int width) {
    StationColumns columns;
    int image = 0;
    for (const PortView& view : ports) {
        columns.port = std::max(columns.port, int(shownText(view.port).size()));
        columns.count = std::max(columns.count, int(countText(view).size()));
        image = std::max(image, int(shownText(view.image).size()));
    }
    columns.port = std::min(columns.port, kWidestPort);
    int rest = width - 1 - columns.port - kGap - kPercentWidth - kGap - kWordWidth - kGap -
               kTailWidth - (columns.count > 0 ? kGap + columns.count : 0);
    if (rest >= kLeastBar + kGap) {
        columns.bar = kLeastBar;
        rest -= kLeastBar + kGap;
    }
    if (rest >= kModuleWidth + kGap) {
        columns.module = kModuleWidth;
        rest -= kModuleWidth + kGap;
    }
    if (image > 0 && rest >= kLeastImage + kGap) {
        columns.image = std::min(image, rest - kGap);
        rest -= columns.image + kGap;
    }
    if (columns.bar > 0)
        columns.bar += std::min(rest, kWidestBar - columns.bar);
    return columns;
}

QString StationScreen::line(const PortView& view, const StationColumns& columns, bool color) {
    QString text = shownText(view.port).left(columns.port).leftJustified(columns.port) + kGapText;
    if (columns.module > 0)
        text +=
            shownText(view.module).left(columns.module).leftJustified(columns.module) + kGapText;
    if (columns.image > 0)
        text +=
            fitted(shownText(view.image), columns.image).leftJustified(columns.image) + kGapText;
    if (columns.bar > 0) {
        const int inside = columns.bar - 2;
        const int filled = view.percent < 0 ? 0 : inside * std::min(view.percent, 100) / 100;
        text += QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
                QString(inside - filled, QLatin1Char('.')) + QLatin1Char(']') + kGapText;
    }
    text += (view.percent < 0 ? QString() : QStringLiteral("%1%").arg(view.percent))
                .rightJustified(kPercentWidth) +
            kGapText;
    const QString word = shownText(view.word).left(kWordWidth);
    const char* wordColor = colorOf(view);
    text += painted(word, wordColor, color) + QString(kWordWidth - word.size(), QLatin1Char(' ')) +
            kGapText;
    text += view.takeOff ? painted(QStringLiteral("take off"), wordColor, color)
                         : QStringLiteral("%1 s").arg(view.seconds, kTailWidth - 2, 'f', 1);
    if (columns.count > 0)
        text += kGapText + countText(view).rightJustified(columns.count);
    return text;
}

void StationScreen::draw(const std::vector<PortView>& ports) {
    if (!terminal_)
        return;
    const StationColumns columns = fit(ports, columns_);
    QString text;
    if (drawn_ > 0)
        text += QStringLiteral("\033[%1A").arg(drawn_);
    for (const PortView& view : ports)
        text += QLatin1Char('\r') + line(view, columns, color_) + QStringLiteral("\033[K\n");
    drawn_ = static_cast<int>(ports.size());
    std::fputs(text.toUtf8().constData(), out_);
    std::fflush(out_);
}

void StationScreen::change(const QString& port, const QString& text) {
    if (terminal_)
        return;
    std::fprintf(out_, "%s: %s\n", qPrintable(port), qPrintable(text));
    std::fflush(out_);
}

namespace {

// The table of every module's outcome, a port without one as "none"; its outcomes coloured
// with color.
QString outcomeTable(const PortResults& ports, bool color) {
    struct Row {
        QString port, module, image, outcome, seconds;
        const char* color = nullptr;
    };
    std::vector<Row> rows{{"PORT", "MODULE", "IMAGE", "OUTCOME", "SECONDS"}};
    for (const auto& [port, results] : ports) {
        for (const ModuleResult& result : results)
            rows.push_back({shownText(port), shownText(result.module), shownText(result.image),
                            outcomeWord(result.ended.outcome),
                            QString::number(result.ended.seconds, 'f', 1),
                            outcomeColor(result.ended.outcome)});
        if (results.empty())
            rows.push_back({shownText(port), {}, {}, QStringLiteral("none"), {}});
    }
    int widths[4] = {};
    for (const Row& row : rows) {
        const QString* cells[4] = {&row.port, &row.module, &row.image, &row.outcome};
        for (int i = 0; i < 4; ++i)
            widths[i] = std::max(widths[i], int(cells[i]->size()));
    }
    QString text;
    for (const Row& row : rows) {
        const QString outcome = row.outcome.leftJustified(widths[3]);
        text += row.port.leftJustified(widths[0]) + kGapText + row.module.leftJustified(widths[1]) +
                kGapText + row.image.leftJustified(widths[2]) + kGapText +
                painted(outcome, row.color, color) + kGapText + row.seconds.rightJustified(7) +
                QLatin1Char('\n');
    }
    return text;
}

// "COM1: 3 modules, 2 succeeded" for each port that saw more than one.
QString portCounts(const PortResults& ports) {
    QString text;
    for (const auto& [port, results] : ports) {
        if (results.size() > 1) {
            const auto succeeded = std::count_if(results.begin(), results.end(), [](const auto& r) {
                return r.ended.outcome == Outcome::Success;
            });
            text += QStringLiteral("%1: %2 modules, %3 succeeded\n")
                        .arg(shownText(port), QString::number(results.size()),
                             QString::number(succeeded));
        }
    }
    return text;
}

}  // namespace

void StationScreen::summary(const PortResults& ports) {
    QString text;
    if (!terminal_)
        text += QLatin1Char('\n');
    text += outcomeTable(ports, color_) + portCounts(ports);
    for (const auto& [port, results] : ports) {
        for (const ModuleResult& result : results) {
            if (result.ended.outcome != Outcome::Success)
                text += wrapped(QStringLiteral("%1: %2: %3")
                                    .arg(shownText(port), reasonCodeText(result.ended.code),
                                         shownText(result.ended.reason)),
                                terminal_ ? columns_ : 0) +
                        QLatin1Char('\n');
        }
    }
    const auto [verdict, passed] = stationVerdict(ports);
    // Broken between words where the terminal is narrower; a colour holds across the break.
    text += painted(wrapped(verdict, terminal_ ? columns_ : 0), passed ? kGreenText : kRedText,
                    color_) +
            QLatin1Char('\n');
    std::fputs(text.toUtf8().constData(), out_);
    std::fflush(out_);
}

}  // namespace tarvel
