#include "GridTableModel.h"

#include "UiStyle.h"

#include <QBrush>

namespace zuvemo::ui {

namespace {

Qt::Alignment alignment(Align align)
{
    const Qt::Alignment h = align == Align::Right
        ? Qt::AlignRight
        : (align == Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft);
    return h | Qt::AlignVCenter;
}

} // namespace

GridTableModel::GridTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void GridTableModel::setGrid(const GridData& grid)
{
    if (!grid.sameColumns(m_grid)) {
        beginResetModel();
        m_grid = grid;
        endResetModel();
        return;
    }
    const int before = rowCount();
    const int after = grid.rows() - 1;
    if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        m_grid = grid;
        endInsertRows();
    } else if (after < before) {
        beginRemoveRows(QModelIndex(), after, before - 1);
        m_grid = grid;
        endRemoveRows();
    } else {
        m_grid = grid;
    }
    if (after > 0 && m_grid.cols() > 0) {
        emit dataChanged(index(0, 0), index(after - 1, m_grid.cols() - 1));
    }
}

int GridTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_grid.rows() - 1;
}

int GridTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_grid.cols();
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const GridCell& cell = m_grid.cell(index.row() + 1, index.column());
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(cell.text);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignment(cell.align));
    case Qt::BackgroundRole:
        return QBrush(UiStyle::color(cell.back));
    case Qt::ForegroundRole:
        return cell.fore == 0 ? QBrush(Qt::black) : QBrush(UiStyle::color(cell.fore));
    case Qt::ToolTipRole: {
        const QString text = QString::fromStdString(cell.text);
        const bool cut = m_cut && !text.isEmpty() && m_cut(index.column(), text);
        const QString rowTip = QString::fromStdString(m_grid.rowTip(index.row() + 1));
        if (cut && !rowTip.isEmpty()) {
            return text + QLatin1Char('\n') + rowTip;
        }
        if (cut) {
            return text;
        }
        return rowTip.isEmpty() ? QVariant() : QVariant(rowTip);
    }
    default:
        return {};
    }
}

QVariant GridTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_grid.cols()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(m_grid.column(section).heading);
    }
    if (role == Qt::ToolTipRole) {
        const std::string tip = m_grid.headingTip(section);
        return tip.empty() ? QVariant() : QVariant(QString::fromStdString(tip));
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace zuvemo::ui
