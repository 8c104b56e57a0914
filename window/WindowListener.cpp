#include "window/WindowListener.h"

#include "activity/ActivityInd.h"
#include "platform/StatusView.h"

namespace tarvel {

void WindowListener::statusChanged(const StatusChanged& event) {
    view_.setTitleColor(event.color);
    view_.setTitleText(event.word);
    view_.setEnglishText(event.english);
    view_.setGermanText(event.german);
}

void WindowListener::activityChanged(const ActivityChanged& event) {
    view_.setActivityText(event.text);
}

void WindowListener::progressChanged(const ProgressChanged& event) {
    view_.setProgressMaximum(event.maximum);
    view_.setProgressValue(event.value);
    view_.setPercentText(event.percentText);
}

void WindowListener::imageChosen(const ImageChosen& event) {
    view_.setFileNameText(event.path);
}

// A slow adapter is told on the activity line, where the technician looks while waiting; other
// notices pass on the status bar.
void WindowListener::notice(const Notice& event) {
    if (event.kind == Notice::Kind::AdapterHint)
        view_.setActivityText(event.text);
    else
        view_.showNotice(event.text);
}

// Every tick of the elapsed-time clock also turns the indicator one step.
void WindowListener::clockChanged(const ClockChanged& event) {
    view_.setElapsedText(event.text);
    if (event.tick) {
        const int step = indicator_.Step();
        indicator_.setStep(step >= 100 ? 0 : step + 10);
    }
}

void WindowListener::indicatorChanged(const IndicatorChanged& event) {
    indicator_.setForeColor(event.color);
}

void WindowListener::busyChanged(const BusyChanged& event) {
    view_.setBusyPointer(event.busy);
}

}  // namespace tarvel
