#include "cli/StationScreen.h"

#include "platform/ShownText.h"

#include <algorithm>

namespace tarvel {

namespace {

constexpr int kModuleWidth = 6;  // DVBSAT; announcements are two letters
constexpr int kImageWidth = 24;
constexpr int kWordWidth = 11;    // interrupted
constexpr int kShortestBar = 10;  // with its brackets; a narrower terminal goes without
constexpr const char* kGap = "  ";

// A name cut in its middle to fit, as the history's table cuts it: DVB-SAT…008.bin.
QString fitted(const QString& text, int width) {
    if (text.size() <= width)
        return text;
    const int head = (width - 1) / 2;
    return text.left(head) + QChar(0x2026) + text.right(width - 1 - head);
}

QString seconds(double value) {
    return QStringLiteral("%1 s").arg(value, 6, 'f', 1);
}

}  // namespace

QString StationScreen::line(const PortView& view, int portWidth, int width) {
    QString left = shownText(view.port).leftJustified(portWidth) + kGap +
                   shownText(view.module).leftJustified(kModuleWidth) + kGap +
                   fitted(shownText(view.image), kImageWidth).leftJustified(kImageWidth);
    const QString percent = view.percent < 0 ? QString(4, QLatin1Char(' '))
                                             : QStringLiteral("%1%").arg(view.percent, 3);
    QString right = percent + kGap +
                    shownText(view.word).leftJustified(kWordWidth).left(kWordWidth) + kGap +
                    seconds(view.seconds);
    if (view.done > 1 || (view.done == 1 && view.word == QLatin1String("waiting")))
        right += QStringLiteral("  #%1").arg(view.done);
    const int room = width - 1 - int(left.size()) - int(right.size()) - 2 * int(qstrlen(kGap));
    if (room >= kShortestBar) {
        const int inside = room - 2;
        const int filled = view.percent < 0 ? 0 : inside * std::min(view.percent, 100) / 100;
        const QString bar = QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
                            QString(inside - filled, QLatin1Char('.')) + QLatin1Char(']');
        return left + kGap + bar + kGap + right;
    }
    return (left + kGap + right).left(std::max(0, width - 1));
}

void StationScreen::draw(const std::vector<PortView>& ports) {
    if (!terminal_)
        return;
    int portWidth = 4;
    for (const PortView& view : ports)
        portWidth = std::max(portWidth, int(view.port.size()));
    portWidth = std::min(portWidth, 20);
    QString text;
    if (drawn_ > 0)
        text += QStringLiteral("\033[%1A").arg(drawn_);
    for (const PortView& view : ports)
        text += QLatin1Char('\r') + line(view, portWidth, columns_) + QStringLiteral("\033[K\n");
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

void StationScreen::summary(
    const std::vector<std::pair<QString, std::vector<ModuleResult>>>& ports) {
    struct Row {
        QString port, module, image, outcome, seconds;
    };
    std::vector<Row> rows{{"PORT", "MODULE", "IMAGE", "OUTCOME", "SECONDS"}};
    for (const auto& [port, results] : ports) {
        for (const ModuleResult& result : results)
            rows.push_back({shownText(port), shownText(result.module), shownText(result.image),
                            shownText(result.word), QString::number(result.seconds, 'f', 1)});
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
    if (!terminal_)
        text += QLatin1Char('\n');
    for (const Row& row : rows) {
        text += row.port.leftJustified(widths[0]) + kGap + row.module.leftJustified(widths[1]) +
                kGap + row.image.leftJustified(widths[2]) + kGap +
                row.outcome.leftJustified(widths[3]) + kGap + row.seconds.rightJustified(7) +
                QLatin1Char('\n');
    }
    for (const auto& [port, results] : ports) {
        if (results.size() > 1) {
            const auto succeeded = std::count_if(results.begin(), results.end(), [](const auto& r) {
                return r.word == QLatin1String("success");
            });
            text += QStringLiteral("%1: %2 modules, %3 succeeded\n")
                        .arg(port)
                        .arg(results.size())
                        .arg(succeeded);
        }
    }
    for (const auto& [port, results] : ports) {
        for (const ModuleResult& result : results) {
            if (result.word != QLatin1String("success"))
                text += QStringLiteral("%1: %2: %3\n").arg(port, result.word, result.reason);
        }
    }
    std::fputs(text.toUtf8().constData(), out_);
    std::fflush(out_);
}

}  // namespace tarvel
