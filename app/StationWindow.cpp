#include "app/StationWindow.h"

#include "platform/SettingsStore.h"
#include "station/StationForwarder.h"
#include "station/StationPorts.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSerialPortInfo>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>

namespace tarvel {

namespace {

const QString kSection = QStringLiteral("Station");
// The tiles' elapsed times and progress: often enough for the tenths of a percent a second.
constexpr int kRedrawMs = 200;
// A port's adapter plugged in or pulled shows within this.
constexpr int kDevicesMs = 2000;
// How long a closing window waits for its updates to record their interruption.
constexpr int kClosingMs = 15000;

bool devicePresent(const QString& device) {
#ifdef Q_OS_WIN
    const auto ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&device](const QSerialPortInfo& port) {
        return port.portName().compare(device, Qt::CaseInsensitive) == 0;
    });
#else
    return QFileInfo::exists(device);
#endif
}

bool askByMessageBox(QWidget* parent, const QString& text, const QString& title) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

StationWindow::StationWindow(SettingsStore& settings, StationSetup setup, QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      setup_(std::move(setup)),
      grid_(new StationGrid),
      totals_(new ElidedLabel),
      repeat_(new QCheckBox(QStringLiteral("Repeat"))) {
    setWindowTitle(QStringLiteral("Tarvel Update Utility – Station"));
    ask = [this](const QString& text, const QString& title) {
        return askByMessageBox(this, text, title);
    };
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(grid_);
    setCentralWidget(scroll);
    statusBar()->addWidget(totals_, 1);
    makeToolBar();
    makeKeys();
    QStringList names;
    portsProblem_ = stationPortsProblem(stationPortsSetting(settings_),
                                        QStringLiteral("Ports= in [Station]"), settings_, &names);
    makePorts(names);
    QObject::connect(&redraw_, &QTimer::timeout, this, [this] { redraw(); });
    redraw_.start(kRedrawMs);
    QObject::connect(&devices_, &QTimer::timeout, this, [this] { lookForDevices(); });
    devices_.start(kDevicesMs);
}

StationWindow::~StationWindow() {
    // What is not forwarded by now goes with a later run.
    if (forwarder_)
        forwarder_->finish();
}

void StationWindow::makeToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Station"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* start =
        bar->addAction(QStringLiteral("Start all (F1)"), this, [this] { startIdle(); });
    start->setShortcut(Qt::Key_F1);
    start->setToolTip(QStringLiteral("Alle freien Ports starten"));
    QAction* stop = bar->addAction(QStringLiteral("Stop all (Esc)"), this, [this] { stopAll(); });
    stop->setShortcut(Qt::Key_Escape);
    stop->setToolTip(QStringLiteral("Alle Updates abbrechen"));
    bar->addSeparator();
    repeat_->setChecked(settings_.value(kSection, QStringLiteral("Repeat"), QString()) ==
                        QLatin1String("on"));
    repeat_->setToolTip(QStringLiteral(
        "After each update the port waits for its next module / Nach jedem Update wartet der "
        "Port auf das nächste Modul"));
    QObject::connect(repeat_, &QCheckBox::toggled, this, [this](bool on) {
        settings_.setValue(kSection, QStringLiteral("Repeat"),
                           on ? QStringLiteral("on") : QStringLiteral("off"));
        for (const auto& port : ports_)
            port->setRepeat(on);
    });
    bar->addWidget(repeat_);
    bar->addSeparator();
    bar->addAction(QStringLiteral("New shift"), this, [this] { newShift(); });
    bar->addAction(QStringLiteral("Ports…"), this, [this] { changePorts(); });
    bar->addAction(QStringLiteral("History…"), this, [this] {
        if (onShowHistory)
            onShowHistory();
    });
}

// 1 to 9: the tile of that number.
void StationWindow::makeKeys() {
    for (int key = 1; key <= 9; ++key) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::Key_0 + key), this);
        QObject::connect(shortcut, &QShortcut::activated, this, [this, key] { press(key - 1); });
    }
}

void StationWindow::makePorts(const QStringList& names) {
    ports_.clear();
    tiles_.clear();
    std::vector<QWidget*> shown;
    for (int i = 0; i < names.size(); ++i) {
        ports_.push_back(std::make_unique<StationPort>(
            setup_.program, names[i], QStringList{QStringLiteral("--folder"), setup_.imageFolder},
            repeat_->isChecked()));
        StationPort& port = *ports_.back();
        port.setHoldFailures(true);
        port.onModuleEnded = [this] {
            counts_->refresh();
            redraw();
        };
        port.onFinished = [this] { portFinished(); };
        auto* tile = new StationTile(i < 9 ? i + 1 : 0, names[i]);
        tile->onClicked = [this, i] { press(i); };
        tiles_.push_back(tile);
        shown.push_back(tile);
    }
    grid_->setTiles(shown);
    present_.assign(names.size(), true);
    counts_ = std::make_unique<ShiftCounts>(setup_.stateFolder, names);
    counts_->onChanged = [this] { redraw(); };
    counts_->refresh();
    forwarder_ = stationForwarder(settings_, setup_.stateFolder);
    for (const auto& port : ports_) {
        if (forwarder_)
            port->onRecorded = [forwarder = forwarder_.get()] { forwarder->poke(); };
    }
    lookForDevices();
    redraw();
}

void StationWindow::startIdle() {
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        const PortState state = ports_[i]->view().state;
        if (present_[i] && (state == PortState::Idle || state == PortState::Passed))
            ports_[i]->start();
    }
    redraw();
}

void StationWindow::press(int index) {
    if (index < 0 || index >= static_cast<int>(ports_.size()))
        return;
    StationPort& port = *ports_[index];
    if (!port.acknowledge() && !port.busy())
        port.start();
    redraw();
}

bool StationWindow::busy() const {
    return std::any_of(ports_.begin(), ports_.end(), [](const auto& port) { return port->busy(); });
}

bool StationWindow::stopAll() {
    if (!busy())
        return false;
    if (!ask(QStringLiteral("Stop every update? Each ends interrupted and is recorded.\n"
                            "Alle Updates abbrechen? Jedes endet als abgebrochen und wird "
                            "protokolliert."),
             QStringLiteral("Stop all / Alle abbrechen")))
        return false;
    for (const auto& port : ports_)
        port->stop();
    redraw();
    return true;
}

void StationWindow::newShift() {
    counts_->newShift();
}

QString StationWindow::setPorts(const QStringList& ports) {
    if (busy())
        return QStringLiteral("Stop the updates before changing the ports.");
    QStringList names;
    if (const QString problem =
            stationPortsProblem(ports, QStringLiteral("The ports"), settings_, &names);
        !problem.isEmpty())
        return problem;
    settings_.setValue(kSection, QStringLiteral("Ports"), names.join(QStringLiteral(", ")));
    portsProblem_.clear();
    if (forwarder_)
        forwarder_->finish();
    makePorts(names);
    return QString();
}

void StationWindow::changePorts() {
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QStringLiteral("Ports"),
        QStringLiteral("The station's ports, separated by commas or spaces (COM1 to COM9 or "
                       "device paths):"),
        QLineEdit::Normal, settings_.value(kSection, QStringLiteral("Ports"), QString()), &ok);
    if (!ok)
        return;
    const QString problem =
        setPorts(text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts));
    if (!problem.isEmpty())
        QMessageBox::information(this, QStringLiteral("Ports"), problem);
}

std::vector<PortView> StationWindow::views() const {
    std::vector<PortView> all;
    for (const auto& port : ports_)
        all.push_back(port->view());
    return all;
}

void StationWindow::redraw() {
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        const PortView view = ports_[i]->view();
        tiles_[i]->show(view, present_[i], counts_->of(view.port));
    }
    const ShiftCount total = counts_->total();
    QString text = QStringLiteral("Shift since %1: passed %2, failed %3")
                       .arg(counts_->shiftStart().toString(QStringLiteral("HH:mm")))
                       .arg(total.passed)
                       .arg(total.failed);
    if (ports_.empty())
        text = QStringLiteral("No port: name the station's ports with Ports…");
    if (!portsProblem_.isEmpty())
        text += QStringLiteral(" (%1)").arg(portsProblem_);
    if (!counts_->problem().isEmpty())
        text += QStringLiteral(" (the history cannot be counted: %1)").arg(counts_->problem());
    if (totals_->fullText() != text)
        totals_->setFullText(text);
}

void StationWindow::lookForDevices() {
    for (std::size_t i = 0; i < ports_.size(); ++i)
        present_[i] = devicePresent(stationPortDevice(ports_[i]->view().port, settings_));
}

void StationWindow::portFinished() {
    redraw();
    if (closing_ && !busy())
        close();
}

// Closing stops every update first, after asking, and waits for each to record its end.
void StationWindow::closeEvent(QCloseEvent* event) {
    if (!busy()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (closing_ || !stopAll())
        return;
    closing_ = true;
    QTimer::singleShot(kClosingMs, this, [this] {
        ports_.clear();  // kills what has not ended by now
        close();
    });
}

}  // namespace tarvel
