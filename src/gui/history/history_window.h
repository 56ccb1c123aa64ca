#pragma once

// The history window: every recorded write to the installation, newest first, with a search field;
// what undoing the chosen record changes, and the undo itself (a record of its own).

#include "core/history/history.h"

#include <QAbstractTableModel>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTreeView;

// The records as rows: number, when, who, program, what.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRecords(std::vector<history::Record> records);
    const history::Record* recordAt(int row) const;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<history::Record> m_records;
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
    QSortFilterProxyModel* m_filter = nullptr;
    history::UndoPlan m_plan; // what the preview shows and Undo executes
    bool m_changed = false;

    QLineEdit* m_search = nullptr;
    QTreeView* m_records = nullptr;
    QPlainTextEdit* m_preview = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_undo = nullptr;
};
