#include "tests/soak/SoakRun.h"

#include "status/StatusTexts.h"
#include "tests/soak/ModuleBridge.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace tarvel::test {

namespace {

// Far beyond any update that ends by itself: four request-driven runs, or an identification
// that needs a few passes, take minutes. An update still running then is cancelled.
constexpr int kCancelAt = 900;
// Waits of a whole update are in the tens of thousands; millions mean a loop that never ends.
constexpr std::uint64_t kWaitLimit = 5'000'000;
const QString kErrorBox = QStringLiteral("Update error\rUpdate Fehler");

std::string shown(const QByteArray& bytes) {
    if (bytes.size() > 32)
        return "<" + std::to_string(bytes.size()) + " bytes>";
    std::string text = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, u >= 0x20 && u < 0x7f ? "%c" : "\\x%02x", u);
        text += escaped;
    }
    return text + "\"";
}

// Host and module in time order; a run of equal host writes (the "e" flood, the probes) is one
// line.
std::string timelineOf(const UpdateRig& rig, const ModuleBridge& bridge) {
    struct Line {
        double at;
        bool host;
        QByteArray bytes;
    };
    std::vector<Line> lines;
    for (const HostWrite& write : rig.writes)
        lines.push_back({write.at, true, write.bytes});
    for (const HostWrite& sent : bridge.moduleSent())
        lines.push_back({sent.at, false, sent.bytes});
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& a, const Line& b) { return a.at < b.at; });
    std::string text;
    for (size_t i = 0; i < lines.size();) {
        size_t same = i + 1;
        while (same < lines.size() && lines[same].host && lines[i].host &&
               lines[same].bytes == lines[i].bytes)
            ++same;
        char head[64];
        std::snprintf(head, sizeof head, "%10.3f %s ", lines[i].at,
                      lines[i].host ? "host  " : "module");
        text += head + shown(lines[i].bytes);
        if (same - i > 1)
            text += " x" + std::to_string(same - i);
        text += "\n";
        i = same;
    }
    return text;
}

bool percentsWithinBounds(const QStringList& percents) {
    for (QString text : percents) {
        text.remove(QLatin1Char('%'));
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (!ok || value < 0 || value > 100)
            return false;
    }
    return true;
}

void judge(const SoakCase& c, const UpdateRig& rig, const sim::ModuleModel& model,
           SoakResult& result) {
    auto problem = [&result](std::string text) { result.problems.push_back(std::move(text)); };
    const FakeStatusView& status = rig.status;
    const bool errorBox = std::any_of(rig.dialogs.shown.begin(), rig.dialogs.shown.end(),
                                      [](const ShownMessage& m) { return m.text == kErrorBox; });
    switch (result.outcome) {
        case UpdateOutcome::Success: {
            if (!flashHoldsImage(c, model.flash()))
                problem(
                    "false success: \"Update Successful\" but the flash differs from the image");
            if (!status.titles.contains(texts::successWord()))
                problem("success without \"Update Successful / Update erfolgreich\" shown");
            if (errorBox)
                problem("success after the \"Update error\" box");
            break;
        }
        case UpdateOutcome::Failed:
            if (!errorBox)
                problem("failed without the \"Update error\" box");
            if (status.titles.contains(texts::successWord()))
                problem("failed after \"Update Successful\" was shown");
            break;
        case UpdateOutcome::Cancelled:
            // Identification never gives up on a silent module; a transfer must end by itself.
            if (result.transferStarted)
                problem("hang: the transfer still ran after " + std::to_string(kCancelAt) +
                        " s and was cancelled");
            break;
        case UpdateOutcome::NoImage:
            // A late "R!" is taken for the next probe's type, whose image is not there.
            if (!c.acknowledged || result.identifiedType == c.module.type)
                problem("no image although the module's image is there");
            break;
        case UpdateOutcome::NoPort:
        case UpdateOutcome::Busy:
            problem(std::string("unexpected outcome: ") + outcomeName(result.outcome));
            break;
    }
    if (status.title != texts::readyWord() || status.busyPointer)
        problem("not back in the ready state with the normal pointer");
    if (rig.timer1.isEnabled())
        problem("the elapsed-time clock still runs");
    if (rig.form->updater.imageFileOpen())
        problem("the image file is still open");
    // Each transfer sets its maximum once before any value but 0, so the highest value ever
    // set stands against the maximum in force when it was set.
    if (status.highestProgress > status.progressMax) {
        problem("progress past its maximum: " + std::to_string(status.highestProgress) + " > " +
                std::to_string(status.progressMax));
    }
    if (!percentsWithinBounds(status.percents))
        problem("percentage outside 0..100%: " + status.percents.join(',').toStdString());
}

}  // namespace

const char* outcomeName(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Success:
            return "Success";
        case UpdateOutcome::Failed:
            return "Failed";
        case UpdateOutcome::NoPort:
            return "NoPort";
        case UpdateOutcome::NoImage:
            return "NoImage";
        case UpdateOutcome::Cancelled:
            return "Cancelled";
        case UpdateOutcome::Busy:
            return "Busy";
    }
    return "?";
}

SoakResult runSoakCase(const SoakCase& c, bool withTimeline) {
    SoakResult result;
    UpdateRig rig;
    // The indicator's frames are not what the soak is about; a one-pixel one paints quickly.
    rig.surface.widthTw = rig.surface.heightTw = 15;
    rig.form->Activity1.Resize();
    rig.serial.lineBytesPerSecond = c.lineBytesPerSecond;
    rig.files.add(Rig::imagePath(c.imageName), c.image);
    sim::ModuleModel model(c.module);
    ModuleBridge bridge(rig, model);
    rig.time.setWaitLimit(rig.time.waits() + kWaitLimit);
    rig.time.at(kCancelAt, [&rig] { rig.updater().cancel(); });

    bool ended = false;
    try {
        result.outcome = rig.updater().StartUpdate();
        ended = true;
    } catch (const std::exception& error) {
        result.problems.push_back(std::string("runaway: ") + error.what());
    }
    result.transferStarted = rig.status.titles.contains(texts::runningWord());
    result.identifiedType = rig.updater().ModuleType;
    if (ended)
        judge(c, rig, model, result);
    result.virtualSeconds = rig.time.seconds();
    for (const AimedFault& fault : c.faults) {
        if (model.replies() > fault.atReply)
            result.firedFaults.append(fault.kind);
    }
    if (withTimeline)
        result.timeline = timelineOf(rig, bridge);
    return result;
}

}  // namespace tarvel::test
