#include "cli/HistoryBounds.h"

#include "cli/Options.h"

#include <QRegularExpression>

#include <utility>

namespace tarvel {

namespace {

// --since and --until: today and yesterday from their midnight, a time ago (45m, 2h, 7d), a
// date from its midnight, or a date with a time. Invalid for anything else.
QDateTime moment(const QString& text, const QDateTime& now) {
    if (text == QLatin1String("today"))
        return now.date().startOfDay();
    if (text == QLatin1String("yesterday"))
        return now.date().addDays(-1).startOfDay();
    const auto ago = QRegularExpression(QStringLiteral("^([0-9]{1,6})([mhd])$")).match(text);
    if (ago.hasMatch()) {
        const qint64 unit = ago.captured(2) == QLatin1String("m")   ? 60
                            : ago.captured(2) == QLatin1String("h") ? 3600
                                                                    : 86400;
        return now.addSecs(-ago.captured(1).toLongLong() * unit);
    }
    // QDate would take the date of a date with a time and drop the time.
    if (text.size() == 10)
        return QDate::fromString(text, Qt::ISODate).startOfDay();
    return QDateTime::fromString(text, Qt::ISODate);
}

}  // namespace

QString boundsProblem(const QCommandLineParser& parser, HistoryFilter* filter) {
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto& [option, bound] :
         {std::pair{Option::Since, &filter->since}, std::pair{Option::Until, &filter->until}}) {
        if (!isSet(parser, option))
            continue;
        *bound = moment(valueOf(parser, option), now);
        if (!bound->isValid())
            return QStringLiteral(
                       "--%1 takes today, yesterday, a time ago such as 2h or 7d, or "
                       "a date such as 2026-12-06, not \"%2\".")
                .arg(optionName(option), valueOf(parser, option));
    }
    return QString();
}

}  // namespace tarvel
