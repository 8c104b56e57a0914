#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/PortMenuView.h"
#include "platform/ProgramShell.h"
#include "platform/SettingsStore.h"
#include "platform/StatusView.h"
#include "platform/Surface.h"
#include "platform/ToolbarView.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QStringList>

#include <array>
#include <deque>
#include <ostream>

namespace tarvel::test {

class MemorySettingsStore : public SettingsStore {
  public:
    QString value(const QString& section, const QString& key,
                  const QString& defaultValue) const override {
        return values.value(section + '/' + key, defaultValue);
    }
    void setValue(const QString& section, const QString& key, const QString& value) override {
        values.insert(section + '/' + key, value);
    }
    bool contains(const QString& section, const QString& key) const override {
        return values.contains(section + '/' + key);
    }
    QMap<QString, QString> values;
};

struct ShownMessage {
    QString text;
    QString title;  // empty: the application title
    MessageIcon icon;
    MessageButtons buttons = MessageButtons::Ok;
    bool operator==(const ShownMessage& o) const {
        return text == o.text && title == o.title && icon == o.icon && buttons == o.buttons;
    }
};
inline void PrintTo(const ShownMessage& m, std::ostream* os) {
    *os << '"' << m.text.toStdString() << "\" titled \"" << m.title.toStdString() << "\" icon "
        << int(m.icon) << " buttons " << int(m.buttons);
}
// The box of an update that failed on the line.
inline const ShownMessage kUpdateErrorBox{"Update error\rUpdate Fehler", "Update Error",
                                          MessageIcon::Critical};

// Message boxes that the test answers in advance (Ok when nothing is queued).
class FakeDialogs : public Dialogs {
  public:
    MessageResult messageBox(const QString& text, const QString& title, MessageIcon icon,
                             MessageButtons buttons) override {
        shown.append({text, title, icon, buttons});
        if (whileShown)
            whileShown();
        if (answers.empty())
            return MessageResult::Ok;
        const MessageResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    MessageResult detailedMessageBox(const QString& text, const QString& detail,
                                     const QString& title, MessageIcon icon) override {
        details.append(detail);
        return messageBox(text, title, icon, MessageButtons::Ok);
    }
    QList<ShownMessage> shown;
    QStringList details;  // of the boxes that had one
    std::deque<MessageResult> answers;
    // What happens while a box waits for the technician (time passing, say).
    std::function<void()> whileShown;
};

// One status as the technician saw it: the word in its colour and the two lines, and when.
struct ShownStatus {
    double at;
    QString word;
    quint32 color;
    QString english;
    QString german;
    bool operator==(const ShownStatus& other) const {
        return word == other.word && color == other.color && english == other.english &&
               german == other.german;
    }
};

inline const ShownStatus kReadyStatus{
    0, "Ready", 0x000000,
    "To start update procedure turn setup switch to ON and press Update button",
    "Um den Update-Vorgang zu starten, den Setup-Schalter auf ON stellen und Update Button "
    "drücken"};

// The status controls as plain values, with logs of what they showed.
class FakeStatusView : public StatusView {
  public:
    explicit FakeStatusView(const Clock& clock) : clock_(clock) {}
    void setTitleColor(quint32 color) override { titleColor = color; }
    void setTitleText(const QString& text) override {
        title = text;
        titles << text;
    }
    void setEnglishText(const QString& text) override { english = text; }
    // The German line is the last of a status change: the whole status is known now.
    void setGermanText(const QString& text) override {
        german = text;
        statuses.append({clock_.seconds(), title, titleColor, english, german});
    }
    void setElapsedText(const QString& text) override { elapsed = text; }
    void setProgressMaximum(int maximum) override { progressMax = maximum; }
    int progressMaximum() const override { return progressMax; }
    void setProgressValue(int value) override {
        progressValue = value;
        progressValues << value;
    }
    void setPercentText(const QString& text) override {
        percent = text;
        percents << text;
    }
    void setActivityText(const QString& text) override {
        activity = text;
        activities << text;
    }
    void setVersionText(const QString& text) override { version = text; }
    void setFileNameText(const QString& text) override { fileName = text; }
    void setBusyPointer(bool busy) override { busyPointer = busy; }
    void showNotice(const QString& text) override { notices << text; }
    void setLastOutcome(const QString& english, const QString& german, quint32 color) override {
        lastOutcome = english;
        lastOutcomeGerman = german;
        lastOutcomeColor = color;
    }

    quint32 titleColor = 0;
    QString title, english, german, elapsed, percent, activity, version, fileName, lastOutcome,
        lastOutcomeGerman;
    quint32 lastOutcomeColor = 0;
    QStringList titles, percents, activities, notices;
    QList<ShownStatus> statuses;
    QList<int> progressValues;
    int progressMax = 100;
    int progressValue = 0;
    bool busyPointer = false;

  private:
    const Clock& clock_;
};

class FakePortMenu : public PortMenuView {
  public:
    FakePortMenu() {
        visible.fill(true);
        checked.fill(false);
    }
    void setItemVisible(int index, bool value) override { visible.at(index) = value; }
    bool isItemVisible(int index) const override { return visible.at(index); }
    void setItemChecked(int index, bool value) override { checked.at(index) = value; }
    bool isItemChecked(int index) const override { return checked.at(index); }
    void setItemStatusTip(int index, const QString& tip) override { tips.at(index) = tip; }
    void setMenuEnabled(bool enabled) override { menuEnabled = enabled; }
    void setChosenPort(const QString& text) override { chosenPort = text; }
    int checkedCount() const {
        return static_cast<int>(std::count(checked.begin(), checked.end(), true));
    }

    std::array<bool, kItemCount> visible{};
    std::array<bool, kItemCount> checked{};
    std::array<QString, kItemCount> tips{};
    bool menuEnabled = true;
    QString chosenPort;
};

class FakeToolbar : public ToolbarView {
  public:
    FakeToolbar() {
        visible.fill(true);
        enabled.fill(true);
        visible[kAddFile] = false;
    }
    void setButtonVisible(int index, bool value) override { visible.at(index) = value; }
    bool isButtonVisible(int index) const override { return visible.at(index); }
    void setButtonEnabled(int index, bool value) override { enabled.at(index) = value; }
    bool isButtonEnabled(int index) const override { return enabled.at(index); }

    std::array<bool, 8> visible{};
    std::array<bool, 8> enabled{};
};

// The modal windows of the program, answered in advance.
class FakeShell : public ProgramShell {
  public:
    std::optional<bool> showExpertLogin() override {
        ++logins;
        return loginAnswer;
    }
    std::optional<QString> chooseFileToOpen(const QString& title, const QString& filterName,
                                            const QString& filterPattern,
                                            const QString& initialName) override {
        dialogTitle = title;
        filter = filterName + '|' + filterPattern;
        initial = initialName;
        return chosenFile;
    }
    void endProgram() override { ++ends; }

    std::optional<bool> loginAnswer;
    std::optional<QString> chosenFile;
    QString dialogTitle, filter, initial;
    int logins = 0;
    int ends = 0;
};

// The indicator's surface: 1695 x 1575 twips at 15 twips a pixel, a grey button face.
class FakeSurface : public Surface {
  public:
    static constexpr quint32 kButtonFace = 0x00F0F0F0;

    quint32 backColor() const override { return back; }
    void setBackColor(quint32 color) override { back = color; }
    quint32 foreColor() const override { return fore; }
    void setForeColor(quint32 color) override {
        fore = color;
        foreColors << color;
    }
    double widthTwips() const override { return widthTw; }
    double heightTwips() const override { return heightTw; }
    double twipsPerPixelX() const override { return 15; }
    double twipsPerPixelY() const override { return 15; }
    quint32 systemColor(int index) const override { return index == 15 ? kButtonFace : 0x00808080; }
    void present(const QImage& image) override {
        frame = image;
        ++presents;
    }

    quint32 back = 0;
    quint32 fore = 0;
    QList<quint32> foreColors;
    double widthTw = 1695;
    double heightTw = 1575;
    QImage frame;
    int presents = 0;
};

}  // namespace tarvel::test
