#include "SaveFileDialog.h"

#include "JapaneseDateModel.h"
#include "NameOnlyIconProvider.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTreeView>

namespace zuvemo::ui {

QString SaveFileDialog::picturesFolder()
{
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QDir(pictures).exists()) {
        return pictures;
    }
    return QDir::homePath();
}

QString SaveFileDialog::ask(QWidget* parent, const QString& caption, const QString& fileName,
    const QString& filter, const QString& folder)
{
    const QString start = folder.isEmpty() ? picturesFolder() : folder;
    NameOnlyIconProvider icons;
    // A desktop's own dialog may run in this process and read the files it lists.
    QFileDialog dialog(parent, caption, start, filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setObjectName(QStringLiteral("SaveFileDialog"));
    dialog.setProxyModel(new JapaneseDateModel(&dialog)); // owned by the dialog
    // Room for the name, size, type and date columns uncut.
    dialog.resize(900, 560);
    // Qt's own widths cut the date and "フォルダー": the size, type and date follow their
    // texts, and the name takes the rest.
    if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    dialog.selectFile(QDir(start).filePath(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace zuvemo::ui
