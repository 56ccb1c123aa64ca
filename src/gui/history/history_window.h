#pragma once

// The history window: every recorded write to the installation, newest first, with a search field;
// what undoing the chosen record changes, and the undo itself (a record of its own).

#include "core/history/history.h"
#include "core/history/record_lines.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <atomic>
#include <thread>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

// The records as rows (number, when, who, program, what), newest first, or those a search found.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setLines(history::RecordLines lines);
    void appendOlder(history::RecordLines older);
    // Shows only the records whose line holds the text (all for an empty one).
    void setSearch(const QString& text);
    int recordCount() const { return m_lines.size(); }
    // The record in the shown row, without its rows; an id of 0 outside the rows.
    history::Record recordAt(int row) const;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int lineOf(int row) const { return m_searching ? m_found[size_t(row)] : row; }

    history::RecordLines m_lines;
    QString m_search;               // as typed
    bool m_searching = false;       // m_found holds the rows shown
    std::vector<int> m_found;       // ascending lines
    mutable history::Record m_last; // the record a view asked for last: its row's columns come together
    mutable int m_lastLine = -1;
};

class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    // The installation's database, opened for writing: an undo is written through it.
    explicit HistoryWindow(Database& db, QWidget* parent = nullptr);
    ~HistoryWindow() override;
    // Whether the older records are still being read.
    bool isReading() const { return m_reader.joinable(); }
    // Whether an undo changed the installation while the window was open.
    bool changedInstallation() const { return m_changed; }

protected:
    void reject() override;

private:
    void buildUi();
    void reload();
    void readOlder(qint64 before);
    void stopReading();
    void showCount();
    void recordChosen();
    void undoClicked();
    qint64 chosenId() const; // 0: none

    Database& m_db;
    HistoryModel* m_model = nullptr;
    std::thread m_reader; // the older records, read after the newest are shown
    std::atomic<bool> m_stopReading{false};
    int m_readings = 0;       // which reading a finished one was
    history::UndoPlan m_plan; // what the preview shows and Undo executes
    bool m_changed = false;

    QLineEdit* m_search = nullptr;
    QTableView* m_records = nullptr;
    QPlainTextEdit* m_preview = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_undo = nullptr;
};
