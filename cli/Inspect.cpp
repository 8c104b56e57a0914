#include "cli/Inspect.h"

#include "cli/Arguments.h"
#include "cli/InspectOutput.h"
#include "cli/Options.h"
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
// inspect's options.
void describe(QCommandLineParser& parser) {
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
    addOptions(parser, {Option::TransferKind, Option::Json});
}

// The transfer --kind names, if given; or why it is refused.
QString kindProblem(const QCommandLineParser& parser, const ArgumentText& parsed,
                    std::optional<ImageKind>* givenKind) {
    if (const QString problem = singleValueProblem(parser, {Option::TransferKind});
        !problem.isEmpty())
        return problem;
    if (!isSet(parser, Option::TransferKind))
        return QString();
    const QString kind = valueOf(parser, Option::TransferKind);
    if (kind == QLatin1String("request"))
        *givenKind = ImageKind{TransferKind::Request, 0};
    else if (kind == QLatin1String("ack"))
        *givenKind = ImageKind{TransferKind::Ack, 1};  // as if the first probe were answered
    else
        return QStringLiteral("--kind takes request or ack, not \"%1\".")
            .arg(shownName(parsed.bytesOf(kind)));
    return QString();
}

// Reports each file, as text or JSON; the exit status.
int inspectAll(const QList<QByteArray>& names, std::optional<ImageKind> givenKind, bool json) {
    int result = kAllUsable;
    for (const QByteArray& name : names) {
        const InspectedFile file = inspectFile(name, givenKind);
        if (!file.inspection.usable() || (file.approval && !file.approval->isEmpty()))
            result = kSomeRefused;
        if (json)
            std::fputs(jsonReport(file).constData(), stdout);
        else
            std::fputs(qPrintable(humanReport(file)), stdout);
    }
    return result;
}

}  // namespace

int runInspect(const QList<QByteArray>& arguments) {
    QCommandLineParser parser;
    describe(parser);
    const ArgumentText parsed(arguments);
    if (!parser.parse(parsed.text()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kAllUsable;
    }
    std::optional<ImageKind> givenKind;
    if (const QString problem = kindProblem(parser, parsed, &givenKind); !problem.isEmpty())
        return usage(problem);
    QList<QByteArray> names;
    for (const QString& name : parser.positionalArguments().mid(1))
        names << parsed.bytesOf(name);
    if (names.isEmpty())
        return usage(QStringLiteral("Name at least one image file."));
    return inspectAll(names, givenKind, isSet(parser, Option::Json));
}

}  // namespace tarvel
