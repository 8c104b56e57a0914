#include "cli/Inspect.h"

#include "cli/InspectOutput.h"
#include "platform/qt/QtFileSystem.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

namespace tarvel {

namespace {
constexpr int kAllUsable = 0;
constexpr int kSomeRefused = 1;
constexpr int kUsage = 2;

int usage(const QCommandLineParser& parser, const QString& problem) {
    std::fprintf(stderr, "%s\n\n%s", qPrintable(problem), qPrintable(parser.helpText()));
    return kUsage;
}
}  // namespace

int runInspect(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tells for each image whether an update would accept it, and if not why; what its "
        "update sends and how long it takes at 115200 baud with a module that answers at once; "
        "its SHA-256.\nExit status: 0 every image usable, 1 any refused, 2 bad usage."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("inspect"),
                                 QStringLiteral("Inspect images instead of updating a module."),
                                 QStringLiteral("inspect"));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The images to inspect."),
                                 QStringLiteral("FILE..."));
    const QCommandLineOption kindOption(
        QStringLiteral("kind"),
        QStringLiteral("The transfer for images whose names fit no module's pattern (DVB-GEN*.bin "
                       "request-driven; DVB-SAT, -SLV, -TER, -SCI, -SCR, -SCO, -TCI*.bin "
                       "acknowledged): request or ack."),
        QStringLiteral("KIND"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("One JSON object per image and line."));
    parser.addOptions({kindOption, jsonOption});
    if (!parser.parse(arguments))
        return usage(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        return kAllUsable;
    }
    std::optional<ImageKind> givenKind;
    if (parser.isSet(kindOption)) {
        const QString kind = parser.value(kindOption);
        if (kind == QLatin1String("request"))
            givenKind = ImageKind{TransferKind::Request, 0};
        else if (kind == QLatin1String("ack"))
            givenKind = ImageKind{TransferKind::Ack, 1};  // as if the first probe were answered
        else
            return usage(parser,
                         QStringLiteral("--kind takes request or ack, not \"%1\".").arg(kind));
    }
    const QStringList paths = parser.positionalArguments().mid(1);
    if (paths.isEmpty())
        return usage(parser, QStringLiteral("Name at least one image file."));

    const QtFileSystem files;
    int result = kAllUsable;
    for (const QString& path : paths) {
        InspectedFile file;
        file.path = path;
        std::optional<ImageKind> kind = kindForName(QFileInfo(path).fileName());
        file.kindFromName = kind.has_value();
        if (!kind)
            kind = givenKind;
        file.inspection = inspectImage(files, path, kind);
        file.sha256 = sha256Of(files, path);
        if (!file.inspection.usable())
            result = kSomeRefused;
        if (parser.isSet(jsonOption))
            std::fputs(jsonReport(file).constData(), stdout);
        else
            std::fputs(qPrintable(humanReport(file)), stdout);
    }
    return result;
}

}  // namespace tarvel
