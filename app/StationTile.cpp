#include "app/StationTile.h"

#include "status/StatusTexts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace tarvel {

namespace {

// The activity indicator's red, the success word's green.
const QColor kRunningRed(0xFF, 0x00, 0x00);
const QColor kFailedRed(0xD0, 0x00, 0x00);
const QColor kPassedGreen(0x00, 0xC0, 0x00);
const QColor kWaitingAmber(0xFF, 0xBF, 0x00);
const QColor kIdleGrey(0xC8, 0xC8, 0xC8);
const QColor kRunningFace(0xF4, 0xF4, 0xF4);
constexpr int kRunningFrame = 5;

ElidedLabel* label(QWidget* parent, bool bold = false) {
    auto* shown = new ElidedLabel(parent);
    if (bold) {
        QFont font = shown->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.15);
        shown->setFont(font);
    }
    return shown;
}

// What the operator does next, in both languages.
std::pair<QString, QString> instruction(const PortView& view, bool present, int key) {
    const QString press = key > 0 ? QStringLiteral("%1").arg(key) : QString();
    if (!present && view.state == PortState::Idle)
        return {QStringLiteral("Port not found"), QStringLiteral("Schnittstelle nicht gefunden")};
    if (view.state == PortState::Passed) {
        const QString word = texts::successWord();
        return {word.section(QStringLiteral(" / "), 0, 0), word.section(QStringLiteral(" / "), 1)};
    }
    if (view.state == PortState::Failed) {
        if (press.isEmpty())
            return {QStringLiteral("Take the module off, then click"),
                    QStringLiteral("Modul abziehen, dann klicken")};
        return {QStringLiteral("Take the module off, then press %1").arg(press),
                QStringLiteral("Modul abziehen, dann %1 drücken").arg(press)};
    }
    if (view.state == PortState::Idle) {
        if (press.isEmpty())
            return {QStringLiteral("Ready: press F1 or click"),
                    QStringLiteral("Bereit: F1 drücken oder klicken")};
        return {QStringLiteral("Ready: press F1 or %1").arg(press),
                QStringLiteral("Bereit: F1 oder %1 drücken").arg(press)};
    }
    if (view.english.isEmpty() && view.state == PortState::Waiting)
        return {QStringLiteral("Waiting for the next module"),
                QStringLiteral("Warte auf das nächste Modul")};
    return {view.english, view.german};
}

// A label's text is set only when it changed: a tile is shown five times a second, and each new
// text costs a layout and a paint.
void setText(ElidedLabel* label, const QString& text) {
    if (label->fullText() != text)
        label->setFullText(text);
}

}  // namespace

QColor tileColor(PortState state) {
    switch (state) {
        case PortState::Idle:
            return kIdleGrey;
        case PortState::Running:
            return kRunningRed;
        case PortState::Waiting:
            return kWaitingAmber;
        case PortState::Passed:
            return kPassedGreen;
        case PortState::Failed:
            return kFailedRed;
    }
    return kIdleGrey;
}

QString clockText(double seconds) {
    const qint64 whole = static_cast<qint64>(std::floor(std::max(0.0, seconds)));
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

StationTile::StationTile(int key, const QString& port, QWidget* parent)
    : QFrame(parent),
      key_(key),
      title_(label(this, true)),
      counts_(label(this)),
      english_(label(this)),
      german_(label(this)),
      module_(label(this)),
      bar_(new QProgressBar(this)),
      elapsed_(new QLabel(this)),
      reason_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kRunningFrame + 2, kRunningFrame + 1, kRunningFrame + 2,
                               kRunningFrame + 1);
    layout->setSpacing(1);
    auto* progress = new QHBoxLayout;
    progress->addWidget(bar_, 1);
    progress->addWidget(elapsed_);
    bar_->setRange(0, 100);
    bar_->setTextVisible(true);
    // The failure's sentence whole, below the progress where the tile has room; never wider
    // than the tile.
    reason_->setTextFormat(Qt::PlainText);
    reason_->setWordWrap(true);
    reason_->setContentsMargins(3, 0, 3, 0);  // in line with the texts above
    reason_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    for (QWidget* line : {static_cast<QWidget*>(title_), static_cast<QWidget*>(counts_),
                          static_cast<QWidget*>(english_), static_cast<QWidget*>(german_),
                          static_cast<QWidget*>(module_)})
        layout->addWidget(line);
    layout->addLayout(progress);
    layout->addWidget(reason_);
    layout->addStretch(1);
    // The port's name stays whole: the grid gives every tile the room for it.
    title_->setWholeUpTo(QWIDGETSIZE_MAX);
    setCursor(Qt::PointingHandCursor);
    PortView idle;
    idle.port = port;
    show(idle, true, {});
}

QColor StationTile::face() const {
    return state_ == PortState::Running ? kRunningFace : tileColor(state_);
}

void StationTile::show(const PortView& view, bool present, ShiftCount count) {
    const bool changed = view.state != state_;
    state_ = view.state;
    setTexts(view, present);
    setText(counts_, QStringLiteral("passed %1 · failed %2").arg(count.passed).arg(count.failed));
    setProgress(view);
    if (changed) {
        // Dark text on grey, amber, green and the running face; white on the failed red.
        paintTexts(state_ == PortState::Failed ? Qt::white : Qt::black);
        update();
    }
}

void StationTile::setTexts(const PortView& view, bool present) {
    const QString key = key_ > 0 ? QStringLiteral("%1  ").arg(key_) : QString();
    setText(title_, key + view.port);
    const auto [english, german] = instruction(view, present, key_);
    setText(english_, english);
    setText(german_, german);
    QString module = view.module.isEmpty() ? QStringLiteral("–") : view.module;
    if (!view.image.isEmpty())
        module += QStringLiteral(" · ") + view.image;
    setText(module_, module);
    const QString reason = view.state == PortState::Failed ? view.reason : QString();
    if (reason_->text() != reason)
        reason_->setText(reason);
    reason_->setToolTip(reason);
}

void StationTile::setProgress(const PortView& view) {
    const int percent = std::max(0, view.percent);
    if (bar_->value() != percent)
        bar_->setValue(percent);
    const QString format = view.percent < 0 ? QString() : QStringLiteral("%p%");
    if (bar_->format() != format)
        bar_->setFormat(format);
    const QString clock =
        view.state == PortState::Idle ? QStringLiteral("–") : clockText(view.seconds);
    if (elapsed_->text() != clock)
        elapsed_->setText(clock);
}

void StationTile::paintTexts(QColor ink) {
    for (QWidget* text : findChildren<QLabel*>()) {
        QPalette palette = text->palette();
        palette.setColor(QPalette::WindowText, ink);
        text->setPalette(palette);
    }
}

void StationTile::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClicked)
        onClicked();
    QFrame::mousePressEvent(event);
}

void StationTile::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(rect(), face());
    if (state_ == PortState::Running) {
        painter.setPen(QPen(kRunningRed, kRunningFrame));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(kRunningFrame / 2, kRunningFrame / 2,
                                         -(kRunningFrame + 1) / 2, -(kRunningFrame + 1) / 2));
    } else {
        painter.setPen(QColor(0x60, 0x60, 0x60));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    QFrame::paintEvent(event);
}

}  // namespace tarvel
