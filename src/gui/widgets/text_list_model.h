#pragma once

// A one-column model over a compact text list, for drop-downs of catalogue size: setting a list
// shares it, and a row's text is made only when a view asks for it.

#include "core/db/text_list.h"

#include <QAbstractListModel>

class TextListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    const TextList& list() const { return m_list; }
    void setList(const TextList& list);
    void append(const QString& text);
    void removeAt(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    TextList m_list;
};
