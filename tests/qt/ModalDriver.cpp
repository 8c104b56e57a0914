#include "tests/qt/ModalDriver.h"

#include "app/LoginDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

namespace tarvel::test {

ModalDriver::ModalDriver() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (busy_)
            return;
        if (QWidget* modal = QApplication::activeModalWidget())
            handle(modal);
    });
    timer_.start(5);
}

// Acts from a fresh pass of the event loop: a click may open a nested modal window, and this
// driver's timer does not fire again while its own handler is still running.
void ModalDriver::act(std::function<void()> action) {
    busy_ = true;
    QTimer::singleShot(0, [this, action] {
        busy_ = false;
        action();
    });
}

void ModalDriver::handle(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages << box->text();
        messageTitles << box->windowTitle();
        if (!box->informativeText().isEmpty())
            details << box->informativeText();
        QFont titleFont = QApplication::font();
        titleFont.setBold(true);
        if (box->width() < QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + 100)
            clippedTitles << box->windowTitle();
        if (onMessage)
            onMessage(box->text());
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
        if (!messageAnswers.empty()) {
            answer = messageAnswers.front();
            messageAnswers.pop_front();
        }
        QAbstractButton* button =
            answer != QMessageBox::NoButton ? box->button(answer) : box->defaultButton();
        if (!button)
            button = box->buttons().value(0);
        act([button] { button->click(); });
        return;
    }
    if (auto* login = dynamic_cast<LoginDialog*>(modal)) {
        // One step per showing of the dialog or per message box it raised.
        ++loginDialogsSeen;
        const LoginStep step = logins.empty() ? LoginStep{QString(), false} : logins.front();
        if (!logins.empty())
            logins.pop_front();
        act([login, step] {
            login->txtPassword->setText(step.password);
            (step.pressOk ? login->cmdOK : login->cmdCancel)->click();
        });
        return;
    }
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        if (auto* filter = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            fileFilters << filter->currentText();
        const QString file = filesToOpen.empty() ? QString() : filesToOpen.front();
        if (!filesToOpen.empty())
            filesToOpen.pop_front();
        act([dialog, file] {
            if (file.isEmpty()) {
                dialog->reject();
            } else {
                // Typed into the name field, as a technician would.
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(file);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
    }
}

}  // namespace tarvel::test
