#include "tasks/TaskListModel.h"

namespace tamsel {

CTaskListModel::CTaskListModel(QObject* parent) : QAbstractTableModel(parent) {}

bool CTaskListModel::IsValid(int row, int column) const {
    return row >= 0 && row < GetItemCount() && column >= 0 && column < kTaskColumnCount;
}

int CTaskListModel::InsertItem() {
    const int row = GetItemCount();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.emplace_back();
    endInsertRows();
    return row;
}

void CTaskListModel::DeleteItem(int row) {
    if (!IsValid(row)) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void CTaskListModel::DeleteAllItems() {
    if (m_rows.empty()) {
        return;
    }
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

std::string CTaskListModel::GetItemText(int row, int column) const {
    return IsValid(row, column) ? m_rows[row].texts[column] : std::string();
}

void CTaskListModel::SetItemText(int row, int column, const std::string& text) {
    if (!IsValid(row, column) || m_rows[row].texts[column] == text) {
        return;
    }
    m_rows[row].texts[column] = text;
    const QModelIndex cell = index(row, column);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

int CTaskListModel::GetItemImage(int row) const {
    return IsValid(row) ? m_rows[row].image : -1;
}

void CTaskListModel::SetItemImage(int row, int image) {
    if (!IsValid(row) || m_rows[row].image == image) {
        return;
    }
    m_rows[row].image = image;
    // The state shows in the icon cell and in the progress cell.
    Q_EMIT dataChanged(index(row, 0), index(row, kTaskColumnCount - 1), {kTaskStateRole});
}

int CTaskListModel::GetItemData(int row) const {
    return IsValid(row) ? m_rows[row].data : 0;
}

void CTaskListModel::SetItemData(int row, int data) {
    if (IsValid(row)) {
        m_rows[row].data = data;
    }
}

std::string CTaskListModel::GetItemReason(int row) const {
    return IsValid(row) ? m_rows[row].reason : std::string();
}

void CTaskListModel::SetItemReason(int row, const std::string& reason) {
    if (!IsValid(row) || m_rows[row].reason == reason) {
        return;
    }
    m_rows[row].reason = reason;
    Q_EMIT dataChanged(index(row, 0), index(row, kTaskColumnCount - 1),
                       {Qt::ToolTipRole, kTaskReasonRole});
}

void CTaskListModel::RedrawItems() {
    if (!m_rows.empty()) {
        Q_EMIT dataChanged(index(0, 0), index(GetItemCount() - 1, kTaskColumnCount - 1));
    }
}

int CTaskListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : GetItemCount();
}

int CTaskListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kTaskColumnCount;
}

QVariant CTaskListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !IsValid(index.row(), index.column())) {
        return {};
    }
    const Row& row = m_rows[index.row()];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(row.texts[index.column()]);
        case Qt::ToolTipRole:
            // A failed row tells why wherever the pointer rests on it.
            return QString::fromStdString(row.reason.empty() ? row.texts[index.column()]
                                                             : row.reason);
        case kTaskReasonRole:
            return QString::fromStdString(row.reason);
        case kTaskStateRole:
            return row.image;
        case kTaskIdRole:
            return row.data;
        case Qt::TextAlignmentRole:
            return int(Qt::AlignHCenter | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant CTaskListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < kTaskColumnCount) {
        if (role == Qt::DisplayRole) {
            return QString::fromLatin1(kTaskColumnTitles[section]);
        }
        if (role == Qt::TextAlignmentRole) {
            return int(Qt::AlignHCenter | Qt::AlignVCenter);
        }
    }
    return {};
}

Qt::ItemFlags CTaskListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace tamsel
