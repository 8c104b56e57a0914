#include "app/LogViewer.h"

#include "status/Outcome.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QTextBlock>
#include <QVBoxLayout>

namespace tarvel {

namespace {
// "  11726.053 TX  4F 4B ..." (the log keeps milliseconds): the time, the kind, the rest.
const QRegularExpression& timedLine() {
    static const QRegularExpression pattern(QStringLiteral("^ *(\\d+\\.\\d{3}) (\\S+)  (.*)$"));
    return pattern;
}

QString seconds(const QString& milliseconds) {
    return (QString::number(milliseconds.toDouble() / 1000.0, 'f', 3) + QStringLiteral(" s"))
        .rightJustified(12);
}

bool isTranscript(const QString& kind) {
    return kind == QLatin1String("TX") || kind == QLatin1String("RX");
}

// "    11.726 s ..  312 lines of bytes (TX 200, RX 112): tick "Show the bytes" to see them"
QString foldedLine(const QString& at, int tx, int rx) {
    return seconds(at) + QStringLiteral(
                             " ..  %1 lines of bytes (TX %2, RX %3): tick \"Show the "
                             "bytes\" to see them")
                             .arg(tx + rx)
                             .arg(tx)
                             .arg(rx);
}
}  // namespace

QString logForReading(const QByteArray& log, bool bytes) {
    QStringList shown;
    QString foldedAt;
    int tx = 0, rx = 0;
    const auto fold = [&] {
        if (tx + rx > 0)
            shown << foldedLine(foldedAt, tx, rx);
        tx = rx = 0;
    };
    for (const QString& line : QString::fromUtf8(log).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch timed = timedLine().match(line);
        if (!timed.hasMatch()) {
            fold();
            shown << line;
            continue;
        }
        const QString kind = timed.captured(2);
        if (!bytes && isTranscript(kind)) {
            if (tx + rx == 0)
                foldedAt = timed.captured(1);
            ++(kind == QLatin1String("TX") ? tx : rx);
            continue;
        }
        fold();
        shown << seconds(timed.captured(1)) + QLatin1Char(' ') + kind + QStringLiteral("  ") +
                     timed.captured(3);
    }
    fold();
    return shown.join(QLatin1Char('\n'));
}

QString logSummary(const QByteArray& log) {
    const QStringList lines = QString::fromUtf8(log).split(QLatin1Char('\n'));
    QStringList summary;
    for (const QString& line : lines) {
        if (timedLine().match(line).hasMatch())
            continue;
        if (!line.isEmpty())
            summary << line;
    }
    for (const QString& line : lines) {
        const qsizetype at = line.indexOf(QLatin1String("; reason "));
        if (!line.startsWith(QLatin1String("Outcome: ")) || at < 0)
            continue;
        const QString code = line.mid(at + 9).section(QLatin1Char(':'), 0, 0);
        if (const std::optional<ReasonCode> reason = reasonCodeFromText(code)) {
            const ReasonAdvice advice = adviceFor(Reason{*reason, QString(), {}, {}});
            summary << advice.english << advice.german;
        }
    }
    return summary.join(QLatin1Char('\n'));
}

LogViewer::LogViewer(const QString& name, const QByteArray& log, QWidget* parent)
    : QDialog(parent),
      log_(log),
      summary_(new QLabel(logSummary(log), this)),
      search_(new QLineEdit(this)),
      bytes_(new QCheckBox(QStringLiteral("Show the &bytes"), this)),
      wrap_(new QCheckBox(QStringLiteral("&Wrap lines"), this)),
      text_(new QPlainTextEdit(this)) {
    setWindowTitle(name);
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const bool success = log.contains("\nOutcome: success ");
    summary_->setStyleSheet(success ? QStringLiteral("color: #008000")
                                    : QStringLiteral("color: #c00000"));
    search_->setObjectName(QStringLiteral("search"));
    search_->setPlaceholderText(QStringLiteral("Find (Enter for the next)"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::returnPressed, this, &LogViewer::findNext);
    wrap_->setChecked(true);
    connect(wrap_, &QCheckBox::toggled, this, [this](bool on) {
        text_->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    });
    connect(bytes_, &QCheckBox::toggled, this, &LogViewer::showText);
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* tools = new QHBoxLayout;
    tools->addWidget(search_, 1);
    tools->addWidget(bytes_);
    tools->addWidget(wrap_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addLayout(tools);
    layout->addWidget(text_, 1);
    showText();
}

QString LogViewer::summary() const {
    return summary_->text();
}

// The log anew, at its outcome.
void LogViewer::showText() {
    text_->setPlainText(logForReading(log_, bytes_->isChecked()));
    QTextCursor at(text_->document());
    for (QTextBlock block = text_->document()->lastBlock(); block.isValid();
         block = block.previous()) {
        if (block.text().startsWith(QLatin1String("Outcome: "))) {
            at = QTextCursor(block);
            break;
        }
    }
    text_->setTextCursor(at);
    text_->centerCursor();
}

// From the cursor on, and round to the start again.
void LogViewer::findNext() {
    const QString term = search_->text();
    if (term.isEmpty() || text_->find(term))
        return;
    text_->moveCursor(QTextCursor::Start);
    text_->find(term);
}

QString showLog(const QString& path, QWidget* parent) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    auto* viewer = new LogViewer(QFileInfo(file).fileName(), file.readAll(), parent);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    // Within a small screen (1024 x 768, scaled) too.
    const QSize room =
        viewer->screen() ? viewer->screen()->availableSize() * 9 / 10 : QSize(900, 600);
    viewer->resize(QSize(900, 600).boundedTo(room));
    viewer->show();
    return QString();
}

}  // namespace tarvel
