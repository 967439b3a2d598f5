#pragma once

#include <QFileIconProvider>

namespace zuvemo::ui {

// Icons and type names of files by their names alone. The stock provider reads a file whose name
// matches no pattern to guess its type; a read of the database's files (the "-shm" map above
// all) followed by its close drops every lock this process holds on them.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

} // namespace zuvemo::ui
