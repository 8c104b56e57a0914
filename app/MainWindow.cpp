#include "app/MainWindow.h"

#include "activity/ActivityInd.h"
#include "app/ActivityIndWidget.h"
#include "status/StatusTexts.h"
#include "window/Keys.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

// The icons are compiled into a static library; register them before use.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace tarvel {

namespace {
// Arial where it exists, elsewhere its metric twin Liberation Sans.
QFont arial(double points, bool bold) {
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Arial"))
                                      ? QStringLiteral("Arial")
                                      : QStringLiteral("Liberation Sans");
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QLabel* label(const QString& name, const QFont& font, QWidget* parent) {
    auto* result = new QLabel(parent);
    result->setObjectName(name);
    result->setFont(font);
    return result;
}

// A label whose text wraps, and whose least height is that of the lines it wraps into at its
// width, so that the window never cuts a wrapped line off.
class WrappedLabel : public QLabel {
  public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override {
        const QSize least = QLabel::minimumSizeHint();
        return QSize(least.width(), std::max(least.height(), heightForWidth(width())));
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        if (heightForWidth(width()) != heightForWidth(event->oldSize().width()))
            updateGeometry();
    }
};

QLabel* wrappedLabel(const QString& name, const QFont& font, QWidget* parent) {
    auto* result = new WrappedLabel(parent);
    result->setObjectName(name);
    result->setFont(font);
    result->setWordWrap(true);
    return result;
}

constexpr int kActivityWidth = 113;
constexpr int kActivityHeight = 105;
// What a window manager's frame (borders, title bar) usually takes of the screen.
const QSize kFrameAllowance(16, 40);
// The clock's font, and the least it gives way to on a narrow screen.
constexpr double kClockPoints = 48;
constexpr double kLeastClockPoints = 20;

// The width of the clock's text in a font of that size; never less than "0:00:00" needs.
int clockWidth(const QLabel* clock, double points) {
    const QFontMetrics metrics(arial(points, true));
    return std::max(metrics.horizontalAdvance(clock->text()),
                    metrics.horizontalAdvance(QStringLiteral("0:00:00"))) +
           2;
}
}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    initIconResources();
    setWindowTitle(QStringLiteral("Tarvel Update Utility"));
    buildToolbar();
    buildMenu();
    setCentralWidget(buildCentralArea());
    buildStatusBar();
    // The status word is black from the start, whatever the desktop's theme.
    setTitleColor(0x000000);
    // As wide as the status row wants, within the screen: on a small one the clock and the file
    // field give way first (see fitStatusRow).
    const QSize room = screen() ? screen()->availableSize() : QSize(1024, 768);
    resize(QSize(width() - centralWidget()->width() +
                     statusRowWidth(clockWidth(elapsed_, kClockPoints)) +
                     centralWidget()->layout()->contentsMargins().left() +
                     centralWidget()->layout()->contentsMargins().right(),
                 sizeHint().height())
               .boundedTo(room - kFrameAllowance));
    // The window sees keys before its controls.
    qApp->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    int keyCode = 0;
    switch (key->key()) {
        case Qt::Key_F1:
            keyCode = keys::kF1;
            break;
        case Qt::Key_F2:
            keyCode = keys::kF2;
            break;
        case Qt::Key_Escape:
            keyCode = keys::kEscape;
            break;
        default:
            break;
    }
    if (keyCode != 0) {
        if (onKeyDown)
            onKeyDown(keyCode);
        return true;
    }
    if (key->key() == Qt::Key_T && (key->modifiers() & Qt::ControlModifier)) {
        if (onKeyPress)
            onKeyPress(keys::kCtrlT);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::buildToolbar() {
    auto* toolbar = addToolBar(QStringLiteral("Toolbar1"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const QStringList captions = {QString(),
                                  QString(),
                                  QStringLiteral("Add File"),
                                  QStringLiteral("Update"),
                                  QStringLiteral("Expert"),
                                  QString(),
                                  QStringLiteral("Exit")};
    const QStringList icons = {QString(),
                               QString(),
                               QStringLiteral(":/icons/addfile.svg"),
                               QStringLiteral(":/icons/update.svg"),
                               QStringLiteral(":/icons/expert.svg"),
                               QString(),
                               QStringLiteral(":/icons/exit.svg")};
    toolbar->setIconSize(QSize(32, 32));
    for (int index = 1; index <= kButtonCount; ++index) {
        QAction* action = nullptr;
        if (index == kSeparator) {
            action = toolbar->addSeparator();
        } else if (index == kPlaceholder1 || index == kPlaceholder2) {
            // Blank space that keeps the buttons where the technician expects them.
            auto* spacer = new QWidget(toolbar);
            spacer->setFixedWidth(24);
            action = toolbar->addWidget(spacer);
        } else {
            action = toolbar->addAction(QIcon(icons.at(index - 1)), captions.at(index - 1));
            connect(action, &QAction::triggered, this, [this, index] {
                if (onToolbarClicked)
                    onToolbarClicked(index);
            });
        }
        toolbarButtons_[index - 1] = action;
    }
    toolbarButton(kAddFile)->setVisible(false);
}

void MainWindow::buildMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("Com Port"));
    comMenu_ = menu;
    for (int index = 0; index < kItemCount; ++index) {
        const QString caption =
            index == 0 ? QStringLiteral("No Com Ports") : QStringLiteral("Com%1").arg(index);
        QAction* item = menu->addAction(caption);
        item->setCheckable(true);
        // The logic decides about check marks, not the click.
        connect(item, &QAction::triggered, this, [this, index, item] {
            item->setChecked(!item->isChecked());
            if (onComClicked)
                onComClicked(index);
        });
        comItems_[index] = item;
    }
    QMenu* log = menuBar()->addMenu(QStringLiteral("Log"));
    log->setObjectName(QStringLiteral("LogMenu"));
    connect(log->addAction(QStringLiteral("Show Last Log")), &QAction::triggered, this, [this] {
        if (onShowLastLog)
            onShowLastLog();
    });
    connect(log->addAction(QStringLiteral("History…")), &QAction::triggered, this, [this] {
        if (onShowHistory)
            onShowHistory();
    });
    connect(log->addAction(QStringLiteral("Open Log Folder")), &QAction::triggered, this, [this] {
        if (onOpenLogFolder)
            onOpenLogFolder();
    });
}

void MainWindow::setLastOutcome(const QString& english, const QString& german, quint32 color) {
    for (QLabel* line : {lastOutcome_, lastOutcomeGerman_}) {
        QPalette palette = line->palette();
        palette.setColor(QPalette::WindowText, QColor(rgbFromColorRef(color)));
        line->setPalette(palette);
        line->setVisible(!english.isEmpty());
    }
    lastOutcome_->setText(english);
    lastOutcomeGerman_->setText(german);
}

void MainWindow::setChosenPort(const QString& text) {
    chosenPort_->setFullText(text);
}

QString MainWindow::chosenPortText() const {
    return chosenPort_->fullText();
}

QString MainWindow::lastOutcomeText() const {
    return lastOutcome_->text() + QLatin1Char('\n') + lastOutcomeGerman_->text();
}

void MainWindow::showNotice(const QString& text) {
    statusBar()->showMessage(text, 15000);
}

QWidget* MainWindow::buildCentralArea() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* frame = new QGroupBox(central);
    auto* frameLayout = new QHBoxLayout(frame);
    auto* fileLabel = label(QStringLiteral("Label_Type"), arial(9.75, true), frame);
    fileLabel->setText(QStringLiteral("File Title:"));
    fileName_ = new QLineEdit(frame);
    fileName_->setObjectName(QStringLiteral("Text_Filename"));
    fileName_->setReadOnly(true);
    frameLayout->addWidget(fileLabel);
    frameLayout->addWidget(fileName_, 1);
    layout->addWidget(frame);

    auto* statusRow = new QHBoxLayout;
    activity_ = new ActivityIndWidget(central);
    activity_->setFixedSize(kActivityWidth, kActivityHeight);
    statusRow->addWidget(activity_, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    // A line that does not fit the window wraps rather than being cut off, onto two lines at most.
    title_ = wrappedLabel(QStringLiteral("Label_title"), arial(18, true), central);
    english_ = wrappedLabel(QStringLiteral("Label_englisch"), arial(12, false), central);
    german_ = wrappedLabel(QStringLiteral("Label_deutsch"), arial(12, false), central);
    for (QLabel* text : {title_, english_, german_})
        texts->addWidget(text);
    const QFontMetrics instruction(english_->font());
    for (QLabel* text : {english_, german_}) {
        text->setMinimumWidth(std::max(instruction.horizontalAdvance(texts::readyEnglish()),
                                       instruction.horizontalAdvance(texts::readyGerman())) *
                              11 / 20);
    }
    texts->addStretch(1);
    statusRow->addLayout(texts, 1);
    elapsed_ = label(QStringLiteral("lblZeit"), arial(kClockPoints, true), central);
    elapsed_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusRow->addWidget(elapsed_);
    statusRow_ = statusRow;
    layout->addLayout(statusRow);

    auto* progressRow = new QHBoxLayout;
    progress_ = new QProgressBar(central);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setTextVisible(false);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    percent_ = label(QStringLiteral("Label1"), arial(14.25, true), central);
    percent_->setMinimumWidth(70);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(percent_);
    layout->addLayout(progressRow);
    addLastOutcome(central, layout);
    // A taller window keeps the progress bar under the texts; the room goes below it.
    layout->addStretch(1);
    return central;
}

// How the last update or test ended, whole and in its colour, until the next one starts.
void MainWindow::addLastOutcome(QWidget* central, QBoxLayout* layout) {
    lastOutcome_ = wrappedLabel(QStringLiteral("LastOutcome"), arial(9.75, true), central);
    lastOutcomeGerman_ =
        wrappedLabel(QStringLiteral("LastOutcomeGerman"), arial(9.75, false), central);
    for (QLabel* line : {lastOutcome_, lastOutcomeGerman_}) {
        line->setMinimumWidth(1);  // it wraps: the window never widens for it
        line->setTextFormat(Qt::PlainText);
        line->hide();
        layout->addWidget(line);
    }
}

void MainWindow::buildStatusBar() {
    const QFont font = arial(9.75, true);
    date_ = label(QStringLiteral("Panel1"), font, this);
    activityLine_ = label(QStringLiteral("Panel2"), font, this);
    version_ = label(QStringLiteral("Panel3"), font, this);
    // Beside them the chosen port, whole as far as a usual device path goes.
    chosenPort_ = new ElidedLabel(this);
    chosenPort_->setObjectName(QStringLiteral("ChosenPort"));
    chosenPort_->setFont(font);
    chosenPort_->setWholeUpTo(
        QFontMetrics(font).horizontalAdvance(QStringLiteral("Com9 (/dev/ttyUSB10): lost")) + 8);
    for (QLabel* panel : {date_, activityLine_, version_, static_cast<QLabel*>(chosenPort_)})
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A long activity line never widens the window.
    activityLine_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    dateTimer_ = new QTimer(this);
    dateTimer_->setObjectName(QStringLiteral("dateTimer"));
    dateTimer_->setSingleShot(true);
    connect(dateTimer_, &QTimer::timeout, this, [this] { showToday(); });
    showToday();
    statusBar()->addWidget(date_);
    statusBar()->addWidget(activityLine_, 3);
    statusBar()->addWidget(chosenPort_, 1);
    statusBar()->addPermanentWidget(version_);
    statusBar()->setSizeGripEnabled(false);
}

// The date panel turns to the new day at midnight, however long the program runs.
void MainWindow::showToday() {
    date_->setText(QLocale().toString(today(), QLocale::ShortFormat));
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime midnight(now.date().addDays(1), QTime(0, 0));
    dateTimer_->start(static_cast<int>(now.msecsTo(midnight)) + 1000);
}

int MainWindow::statusRowWidth(int clock) const {
    const QFontMetrics instruction(english_->font());
    const QFontMetrics word(title_->font());
    const int texts = std::max(
        {instruction.horizontalAdvance(texts::readyEnglish()),
         instruction.horizontalAdvance(texts::readyGerman()),
         word.horizontalAdvance(QStringLiteral("Update Successful / Update erfolgreich"))});
    return kActivityWidth + texts + clock + 2 * statusRow_->spacing() + 2;
}

// The room of the status row goes to the instructions first, each on one line; the clock gives
// way to them, its font down to kLeastClockPoints, and only then do the instructions wrap.
void MainWindow::fitStatusRow() {
    const QMargins margins = centralWidget()->layout()->contentsMargins();
    const int room = centralWidget()->width() - margins.left() - margins.right();
    const int full = clockWidth(elapsed_, kClockPoints);
    const int least = clockWidth(elapsed_, kLeastClockPoints);
    const int clock = std::clamp(full - (statusRowWidth(full) - room), least, full);
    if (elapsed_->minimumWidth() != clock) {
        elapsed_->setFont(arial(std::max(kLeastClockPoints, kClockPoints * clock / full), true));
        elapsed_->setFixedWidth(clock);
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitStatusRow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (onCloseRequested && !onCloseRequested()) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::setTitleColor(quint32 color) {
    QPalette palette = title_->palette();
    palette.setColor(QPalette::WindowText, QColor(rgbFromColorRef(color)));
    title_->setPalette(palette);
}

void MainWindow::setTitleText(const QString& text) {
    title_->setText(text);
}
void MainWindow::setEnglishText(const QString& text) {
    english_->setText(text);
}
void MainWindow::setGermanText(const QString& text) {
    german_->setText(text);
}
void MainWindow::setElapsedText(const QString& text) {
    elapsed_->setText(text);
    fitStatusRow();  // ten hours take a digit more
}
void MainWindow::setProgressMaximum(int maximum) {
    progress_->setMaximum(maximum);
}
int MainWindow::progressMaximum() const {
    return progress_->maximum();
}
void MainWindow::setProgressValue(int value) {
    progress_->setValue(value);
}

void MainWindow::setPercentText(const QString& text) {
    percent_->setText(text);
    percent_->repaint();
}

void MainWindow::setActivityText(const QString& text) {
    activityLine_->setText(text);
}
void MainWindow::setVersionText(const QString& text) {
    version_->setText(text);
}
void MainWindow::setFileNameText(const QString& text) {
    fileName_->setText(text);
}

void MainWindow::setBusyPointer(bool busy) {
    if (busy == busyPointer_)
        return;
    busyPointer_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void MainWindow::setItemVisible(int index, bool visible) {
    comItems_.at(index)->setVisible(visible);
}
bool MainWindow::isItemVisible(int index) const {
    return comItems_.at(index)->isVisible();
}
void MainWindow::setItemChecked(int index, bool checked) {
    comItems_.at(index)->setChecked(checked);
}
bool MainWindow::isItemChecked(int index) const {
    return comItems_.at(index)->isChecked();
}
void MainWindow::setItemStatusTip(int index, const QString& tip) {
    comItems_.at(index)->setStatusTip(tip);
}

void MainWindow::setMenuEnabled(bool enabled) {
    comMenu_->setEnabled(enabled);
}

void MainWindow::setButtonVisible(int index, bool visible) {
    toolbarButton(index)->setVisible(visible);
}
bool MainWindow::isButtonVisible(int index) const {
    return toolbarButton(index)->isVisible();
}
void MainWindow::setButtonEnabled(int index, bool enabled) {
    toolbarButton(index)->setEnabled(enabled);
}
bool MainWindow::isButtonEnabled(int index) const {
    return toolbarButton(index)->isEnabled();
}

QString MainWindow::titleText() const {
    return title_->text();
}
QString MainWindow::englishText() const {
    return english_->text();
}
QString MainWindow::germanText() const {
    return german_->text();
}
QString MainWindow::elapsedText() const {
    return elapsed_->text();
}
QString MainWindow::percentText() const {
    return percent_->text();
}
QString MainWindow::activityText() const {
    return activityLine_->text();
}
QString MainWindow::versionText() const {
    return version_->text();
}
QString MainWindow::dateText() const {
    return date_->text();
}
int MainWindow::progressValue() const {
    return progress_->value();
}

}  // namespace tarvel
