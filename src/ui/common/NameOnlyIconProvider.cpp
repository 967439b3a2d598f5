#include "NameOnlyIconProvider.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace zuvemo::ui {

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const
{
    if (!info.isFile()) {
        return QFileIconProvider::icon(info);
    }
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    return QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), icon(File)));
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const
{
    if (info.isDir()) {
        return QStringLiteral("フォルダー");
    }
    if (!info.isFile()) {
        return QFileIconProvider::type(info);
    }
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
}

} // namespace zuvemo::ui
