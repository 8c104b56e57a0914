#include "app/LoginDialog.h"

#include "platform/Dialogs.h"
#include "window/ExpertPassword.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvel {

LoginDialog::LoginDialog(Dialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Expert Password"));
    auto* layout = new QVBoxLayout(this);
    auto* lblLabels = new QLabel(QStringLiteral("Please enter password:"), this);
    lblLabels->setObjectName(QStringLiteral("lblLabels"));
    layout->addWidget(lblLabels);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    // A star for every character typed, rather than the style's own dot.
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    QFont font(QFontDatabase::hasFamily(QStringLiteral("Arial"))
                   ? QStringLiteral("Arial")
                   : QStringLiteral("Liberation Sans"));
    font.setPointSizeF(14.25);
    txtPassword->setFont(font);
    layout->addWidget(txtPassword);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    txtPassword->setFocus();
}

void LoginDialog::cmdOK_Click() {
    if (isExpertPassword(txtPassword->text())) {
        outcome_ = true;
        accept();
        return;
    }
    dialogs_.messageBox(QStringLiteral("Invalid Password. Please try again!"),
                        QStringLiteral("Expert Password"), MessageIcon::None);
    txtPassword->setFocus();
}

void LoginDialog::cmdCancel_Click() {
    outcome_ = false;
    reject();
}

// Esc is the Cancel button's key; QDialog alone would only close the window.
void LoginDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tarvel
