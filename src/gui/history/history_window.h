#pragma once

// The history window: every recorded write to the installation, newest first, with a search field;
// what undoing the chosen record changes, and the undo itself (a record of its own).

#include "core/history/history.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QSortFilterProxyModel>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

// The records as rows: number, when, who, program, what.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRecords(std::vector<history::Record> records);
    const history::Record* recordAt(int row) const;
    // Whether the record's line holds the text (lower case), without making its cells' texts.
    bool matches(int row, const QString& lowerText) const;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<history::Record> m_records;
    mutable std::vector<QString> m_haystacks; // each record's searchable text, made at the first search
};

// Keeps the records whose line holds the search text.
class HistoryFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setText(const QString& text);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    QString m_text;
};

class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    // The installation's database, opened for writing: an undo is written through it.
    explicit HistoryWindow(Database& db, QWidget* parent = nullptr);
    // Whether an undo changed the installation while the window was open.
    bool changedInstallation() const { return m_changed; }

protected:
    void reject() override;

private:
    void buildUi();
    void reload();
    void recordChosen();
    void undoClicked();
    const history::Record* chosenRecord() const;

    Database& m_db;
    HistoryModel* m_model = nullptr;
    HistoryFilter* m_filter = nullptr;
    history::UndoPlan m_plan; // what the preview shows and Undo executes
    bool m_changed = false;

    QLineEdit* m_search = nullptr;
    QTreeView* m_records = nullptr;
    QPlainTextEdit* m_preview = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_undo = nullptr;
};
