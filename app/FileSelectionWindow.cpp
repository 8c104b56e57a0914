#include "app/FileSelectionWindow.h"

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace tarvel {

std::optional<int> FileSelectionWindow::choose(const QStringList& names) {
    QDialog window(parent_);
    window.setObjectName(QStringLiteral("Form_Filelist"));
    window.setWindowTitle(QStringLiteral("Fileselection"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Please select File:"), &window));
    auto* list = new QListWidget(&window);
    list->setObjectName(QStringLiteral("List1"));
    list->addItems(names);
    layout->addWidget(list);
    window.resize(420, 260);

    std::optional<int> chosen;
    QObject::connect(list, &QListWidget::itemDoubleClicked, &window, [&](QListWidgetItem* item) {
        chosen = list->row(item);
        window.accept();
    });
    window.exec();
    return chosen;
}

}  // namespace tarvel
