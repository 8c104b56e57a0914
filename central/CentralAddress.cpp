#include "central/CentralAddress.h"

#include "platform/ShownText.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <utility>
#include <vector>

#ifdef TARVEL_LIBPQ
#include <libpq-fe.h>
#endif

namespace tarvel {

namespace {

using Keywords = std::vector<std::pair<QString, QString>>;

// What libpq reads in the setting, keyword by keyword (only those it gives); none when it cannot
// read it. libpq's own message is never shown: it quotes the setting, password and all.
std::optional<Keywords> keywordsOf(const QString& setting) {
#ifdef TARVEL_LIBPQ
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(setting.toUtf8().constData(), &error);
    if (error)
        PQfreemem(error);
    if (!options)
        return std::nullopt;
    Keywords keywords;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        if (option->val)
            keywords.emplace_back(QString::fromUtf8(option->keyword),
                                  QString::fromUtf8(option->val));
    }
    PQconninfoFree(options);
    return keywords;
#else
    Q_UNUSED(setting);
    return std::nullopt;
#endif
}

// password, sslpassword and whatever libpq adds of their kind.
bool isSecret(const QString& keyword) {
    return keyword.contains(QLatin1String("password"), Qt::CaseInsensitive);
}

QString encoded(const QString& part) {
    return QString::fromLatin1(QUrl::toPercentEncoding(part));
}

const QString kUnusable = QStringLiteral("(the [History] Database= that is refused)");

}  // namespace

QString shownCentralUri(const QString& setting) {
    // A setting that is refused may hold a password that libpq read as something else.
    QString refused;
    const std::optional<Keywords> keywords = keywordsOf(setting);
    if (!keywords || !parseCentralUri(setting, &refused))
        return kUnusable;
    QString user, host, port, database;
    QStringList query;
    for (const auto& [keyword, value] : *keywords) {
        if (isSecret(keyword))
            continue;
        if (keyword == QLatin1String("user"))
            user = encoded(value) + QLatin1Char('@');
        else if (keyword == QLatin1String("host"))
            host = value.contains(QLatin1Char(':')) ? QLatin1Char('[') + value + QLatin1Char(']')
                                                    : encoded(value);
        else if (keyword == QLatin1String("port"))
            port = QLatin1Char(':') + encoded(value);
        else if (keyword == QLatin1String("dbname"))
            database = QLatin1Char('/') + encoded(value);
        else
            query << encoded(keyword) + QLatin1Char('=') + encoded(value);
    }
    QString shown = QStringLiteral("postgresql://") + user + host + port + database;
    if (!query.isEmpty())
        shown += QLatin1Char('?') + query.join(QLatin1Char('&'));
    return shownText(shown);
}

namespace {

// Why libpq cannot read the setting, or why there is no libpq to read it.
QString unreadableSetting() {
#ifdef TARVEL_LIBPQ
    return QStringLiteral(
        "[History] Database= takes a PostgreSQL URI such as "
        "postgresql://station@server:5432/line, and libpq cannot read the one given (it is "
        "not shown, since it may hold a password)");
#else
    return QStringLiteral(
        "this program was built without libpq, so it has no line's "
        "history; leave [History] Database= empty");
#endif
}

// Why the setting cannot hold keyword=value; empty when it can.
QString keywordProblem(const QString& keyword, const QString& value) {
    static const QRegularExpression plain(QStringLiteral("^[^\\s;'\"\\\\]*$"));
    if (isSecret(keyword)) {
        return QStringLiteral(
            "[History] Database= holds a password; give it to libpq in ~/.pgpass, PGPASSFILE "
            "or a service file instead, never in the settings");
    }
    // libpq would try each server of a list in turn: the line has one history.
    if ((keyword == QLatin1String("host") || keyword == QLatin1String("hostaddr") ||
         keyword == QLatin1String("port")) &&
        value.contains(QLatin1Char(','))) {
        return QStringLiteral("[History] Database= names one server only, not \"%1\"")
            .arg(shownText(value));
    }
    if (keyword == QLatin1String("port")) {
        // Not shown: in postgresql://user:pw/rest@host libpq reads "pw" as the port.
        bool number = false;
        const int port = value.toInt(&number);
        if (!number || port <= 0 || port > 65535) {
            return QStringLiteral(
                "[History] Database= takes a port from 1 to 65535 (what "
                "it gives is not shown: it may be part of a password)");
        }
        return QString();
    }
    // The same: "rest@host" read as the database's name.
    if (keyword == QLatin1String("dbname") &&
        (value.contains(QLatin1Char('@')) || value.contains(QLatin1Char('/')))) {
        return QStringLiteral(
            "[History] Database= names a database with \"@\" or "
            "\"/\" in it (not shown: it may be part of a password)");
    }
    const bool kept = keyword == QLatin1String("host") || keyword == QLatin1String("dbname") ||
                      keyword == QLatin1String("user");
    // Qt joins the other options with spaces: a value with a space, quote or ";" would break them.
    if (!kept && !plain.match(value).hasMatch()) {
        return QStringLiteral(
                   "[History] Database=: the option \"%1\" cannot be passed on (a value "
                   "without spaces, quotes or \";\")")
            .arg(shownText(keyword));
    }
    return QString();
}

}  // namespace

std::optional<CentralAddress> parseCentralUri(const QString& setting, QString* reason) {
    const std::optional<Keywords> keywords = keywordsOf(setting);
    if (!keywords) {
        *reason = unreadableSetting();
        return std::nullopt;
    }
    CentralAddress address;
    QStringList options;
    QStringList given;
    for (const auto& [keyword, value] : *keywords) {
        if (QString problem = keywordProblem(keyword, value); !problem.isEmpty()) {
            *reason = std::move(problem);
            return std::nullopt;
        }
        if (keyword == QLatin1String("host")) {
            address.host = value;
        } else if (keyword == QLatin1String("port")) {
            address.port = value.toInt();
        } else if (keyword == QLatin1String("dbname")) {
            address.database = value;
        } else if (keyword == QLatin1String("user")) {
            address.user = value;
        } else {
            given << keyword;
            options << keyword + QLatin1Char('=') + value;
        }
    }
    // Every wait on the server is bounded unless the setting says otherwise: connecting, and a
    // connection whose server falls silent, idle (keepalives) or with data unacknowledged.
    for (const auto& [name, bound] : kCentralNetworkBounds) {
        if (!given.contains(QLatin1String(name)))
            options << QLatin1String(name) + QLatin1Char('=') + QString::number(bound);
    }
    address.options = options.join(QLatin1Char(';'));
    return address;
}

}  // namespace tarvel
