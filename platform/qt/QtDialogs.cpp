#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace tarvel {

namespace {
// A box is never narrower than its title in the title bar: a short text would have the window
// manager cut the title ("Up…ror"). Done last: setting the icon or the texts lays the box out
// anew.
void keepTitleWhole(QMessageBox& box) {
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int least = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) +
                          QtDialogs::kTitleBarAllowance;
        grid->addItem(new QSpacerItem(least, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}
}  // namespace

MessageResult QtDialogs::messageBox(const QString& text, const QString& title, MessageIcon icon,
                                    MessageButtons buttons) {
    return show(text, QString(), title, icon, buttons);
}

MessageResult QtDialogs::detailedMessageBox(const QString& text, const QString& detail,
                                            const QString& title, MessageIcon icon) {
    return show(text, detail, title, icon, MessageButtons::Ok);
}

MessageResult QtDialogs::show(const QString& text, const QString& detail, const QString& title,
                              MessageIcon icon, MessageButtons buttons) {
    QMessageBox box(parent_);
    box.setWindowTitle(title.isEmpty() ? applicationTitle_ : title);
    // The two-line texts separate their lines with a carriage return alone.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    box.setInformativeText(detail);
    switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            break;
    }
    keepTitleWhole(box);
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return MessageResult::Cancel;
        case QMessageBox::Yes:
            return MessageResult::Yes;
        case QMessageBox::No:
            return MessageResult::No;
        default:
            return MessageResult::Ok;
    }
}

}  // namespace tarvel
