#pragma once

#include <QIdentityProxyModel>

namespace zuvemo::ui {

// The file dialog's list with its dates written the Japanese way ("2026/12/08 14:05"): the
// file list writes them in the desktop's language, which need not be the programs'.
class JapaneseDateModel : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

} // namespace zuvemo::ui
