#include "app/LogViewer.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

namespace tarvel {

QString showLog(const QString& path, QWidget* parent) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    auto* viewer = new QDialog(parent);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowTitle(QFileInfo(file).fileName());
    auto* text = new QPlainTextEdit(QString::fromUtf8(file.readAll()), viewer);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    (new QVBoxLayout(viewer))->addWidget(text);
    // Within a small screen (1024 x 768, scaled) too.
    const QSize room =
        viewer->screen() ? viewer->screen()->availableSize() * 9 / 10 : QSize(900, 600);
    viewer->resize(QSize(900, 600).boundedTo(room));
    viewer->show();
    return QString();
}

}  // namespace tarvel
