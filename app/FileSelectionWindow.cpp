#include "app/FileSelectionWindow.h"

#include "platform/ShownText.h"

#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tarvel {

std::optional<int> FileSelectionWindow::choose(const QList<FileChoice>& choices) {
    QDialog window(parent_);
    window.setObjectName(QStringLiteral("Form_Filelist"));
    window.setWindowTitle(QStringLiteral("Fileselection"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Please select File:"), &window));
    // The list that decides which images may be chosen, and who signed it.
    if (!choices.isEmpty() && !choices.first().signature.isEmpty()) {
        auto* signedBy = new QLabel(
            QStringLiteral("Approved list signed with ") + shownText(choices.first().signature),
            &window);
        signedBy->setObjectName(QStringLiteral("SignedBy"));
        signedBy->setTextFormat(Qt::PlainText);
        layout->addWidget(signedBy);
    }
    auto* list = new QTreeWidget(&window);
    list->setObjectName(QStringLiteral("List1"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Modified"),
                           QStringLiteral("Size"), QStringLiteral("Update takes")});
    for (const FileChoice& choice : choices) {
        // An image the approved list stops is shown with the reason, but cannot be chosen.
        const QString takes = choice.refusal.isEmpty()
                                  ? choice.duration
                                  : QStringLiteral("cannot be chosen: ") + choice.refusal;
        auto* item = new QTreeWidgetItem(
            list, QStringList{choice.name, choice.modified, choice.size, takes});
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        if (!choice.refusal.isEmpty())
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(list);
    window.resize(720, 260);

    std::optional<int> chosen;
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &window, [&](QTreeWidgetItem* item) {
        if (!(item->flags() & Qt::ItemIsEnabled))
            return;
        chosen = list->indexOfTopLevelItem(item);
        window.accept();
    });
    window.exec();
    return chosen;
}

}  // namespace tarvel
