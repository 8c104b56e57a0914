#include "app/Screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace tarvel {

void screenshotAndQuit(QWidget& window, const QString& path, int delayMs) {
    QTimer::singleShot(delayMs, &window, [&window, path] {
        QRect area = window.frameGeometry();
        if (QWidget* modal = QApplication::activeModalWidget())
            area = area.united(modal->frameGeometry());
        const QPixmap shot =
            window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        if (!shot.save(path))
            std::fprintf(stderr, "Cannot write the screenshot to %s\n", qPrintable(path));
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        // Quit from the main loop, which may not have started yet while a box was open.
        QTimer::singleShot(0, &window, [&window] {
            window.close();
            QApplication::quit();
        });
    });
}

}  // namespace tarvel
