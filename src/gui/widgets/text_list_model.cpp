#include "gui/widgets/text_list_model.h"

void TextListModel::setList(const TextList& list) {
    beginResetModel();
    m_list = list;
    endResetModel();
}

void TextListModel::append(const QString& text) {
    beginInsertRows(QModelIndex(), m_list.size(), m_list.size());
    m_list.append(text);
    endInsertRows();
}

void TextListModel::removeAt(int row) {
    if (row < 0 || row >= m_list.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_list.removeAt(row);
    endRemoveRows();
}

int TextListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.size();
}

QVariant TextListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_list.size())
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole)
        return QVariant();
    return m_list.at(index.row());
}
