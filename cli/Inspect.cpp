#include "cli/Inspect.h"

#include "cli/Arguments.h"
#include "cli/InspectOutput.h"
#include "platform/SettingsStore.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/StateFolder.h"
#include "record/HistoryStore.h"
#include "update/ApprovedImages.h"
#include "update/Minisign.h"
#include "update/TrustedKeys.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <utility>

namespace tarvel {

namespace {
constexpr int kAllUsable = 0;
constexpr int kSomeRefused = 1;

int usage(const QString& problem) {
    return refuse(problem, "tarvel-update inspect");
}

// inspectImage and sha256Of open the file by a path, which cannot spell every name: this opens
// the one file inspected by its name's bytes, whatever path they pass.
class NamedFile : public QtFileSystem {
  public:
    explicit NamedFile(QByteArray name) : name_(std::move(name)) {}
    std::unique_ptr<ReadableFile> openForReading(const QString&, QString* error) const override {
        return openNamed(name_, error);
    }

  private:
    QByteArray name_;
};

// The list's signature as the report shows it; a list whose signature holds is also compared,
// as an update would, with the newest of its key that this station has used.
InspectedFile::Signature judgeSignature(ApprovedImages& list, const TrustedKeys& keys) {
    const ListSignature& signature = list.signature();
    if (!keys.inForce())
        return {QStringLiteral("not-checked"), {}, {}, {}};
    if (signature.holds) {
        HistoryStore history(stateFolder());
        std::optional<qint64> newest;
        QString problem;
        // A station without a history has used no list yet.
        if (!history.open(false) ? !history.reason().isEmpty()
                                 : !history.newestRelease(signature.keyId, &newest))
            problem = history.reason();
        list.checkRelease(newest, problem, {});
        return {
            QStringLiteral("valid"), signature.keyId, commentLine(signature.trustedComment), {}};
    }
    if (!signature.found)
        return {QStringLiteral("none"), {}, {}, {}};
    return {QStringLiteral("invalid"), signature.keyId, {}, signature.problem};
}

InspectedFile inspectFile(const QByteArray& name, std::optional<ImageKind> givenKind) {
    InspectedFile file;
    file.name = name;
    file.path = shownName(name);
    std::optional<ImageKind> kind = kindForName(QFileInfo(QtFileSystem::nameText(name)).fileName());
    file.kindFromName = kind.has_value();
    if (!kind)
        kind = givenKind;
    const QString problem = QtFileSystem::readProblem(name);
    if (!problem.isEmpty()) {
        file.inspection.kind = kind;
        file.inspection.check.problem = problem;
        return file;
    }
    const NamedFile files(name);
    file.inspection = inspectImage(files, file.path, kind);
    file.sha256 = sha256Of(files, file.path);
    // The list an update from the image's own folder would go by.
    const QtFileSystem folders;
    const QtSettingsStore settings(QString::fromLatin1(kApplicationName));
    const QFileInfo info(QtFileSystem::nameText(name));
    const TrustedKeys keys = TrustedKeys::load(
        folders, TrustedKeys::folderFor(settings, QCoreApplication::applicationDirPath()));
    if (auto approved = approvedImagesFor(folders, settings, info.absolutePath(), keys)) {
        file.signature = judgeSignature(*approved, keys);
        file.approval = approved->refusal(info.fileName(), file.sha256);
    }
    return file;
}
}  // namespace

int runInspect(const QList<QByteArray>& arguments) {
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
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("One JSON object per image and line (\"schema\": 1; \"file_bytes\": the "
                       "name's bytes in hex)."));
    parser.addOptions({kindOption, jsonOption});
    const ArgumentText parsed(arguments);
    if (!parser.parse(parsed.text()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kAllUsable;
    }
    if (const QString problem = singleValueProblem(parser, {kindOption}); !problem.isEmpty())
        return usage(problem);
    std::optional<ImageKind> givenKind;
    if (parser.isSet(kindOption)) {
        const QString kind = parser.value(kindOption);
        if (kind == QLatin1String("request"))
            givenKind = ImageKind{TransferKind::Request, 0};
        else if (kind == QLatin1String("ack"))
            givenKind = ImageKind{TransferKind::Ack, 1};  // as if the first probe were answered
        else
            return usage(QStringLiteral("--kind takes request or ack, not \"%1\".")
                             .arg(shownName(parsed.bytesOf(kind))));
    }
    const QStringList names = parser.positionalArguments().mid(1);
    if (names.isEmpty())
        return usage(QStringLiteral("Name at least one image file."));

    int result = kAllUsable;
    for (const QString& name : names) {
        const InspectedFile file = inspectFile(parsed.bytesOf(name), givenKind);
        if (!file.inspection.usable() || (file.approval && !file.approval->isEmpty()))
            result = kSomeRefused;
        if (parser.isSet(jsonOption))
            std::fputs(jsonReport(file).constData(), stdout);
        else
            std::fputs(qPrintable(humanReport(file)), stdout);
    }
    return result;
}

}  // namespace tarvel
