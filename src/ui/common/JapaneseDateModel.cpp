#include "JapaneseDateModel.h"

#include <QDateTime>
#include <QFileSystemModel>
#include <QLocale>

namespace zuvemo::ui {

QVariant JapaneseDateModel::data(const QModelIndex& index, int role) const
{
    // The file list's fourth column is the date of the last change.
    constexpr int kDateColumn = 3;
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (files && role == Qt::DisplayRole && index.column() == kDateColumn) {
        // The list's own record of the date: no file is opened or read for it.
        const QDateTime changed = files->lastModified(mapToSource(index));
        return QLocale(QLocale::Japanese, QLocale::Japan)
            .toString(changed, QStringLiteral("yyyy/MM/dd HH:mm"));
    }
    return QIdentityProxyModel::data(index, role);
}

} // namespace zuvemo::ui
