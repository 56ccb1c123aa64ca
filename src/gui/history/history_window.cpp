// The history window: the records of every write, searched, and the undo of one.

#include "gui/history/history_window.h"

#include "core/vocabulary/vocabulary.h"
#include "gui/dialogs.h"
#include "gui/widgets/focus_button.h"
#include "gui/window_position.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
enum Column { Number, When, Who, Program, What, ColumnCount };
} // namespace

void HistoryModel::setRecords(std::vector<history::Record> records) {
    beginResetModel();
    m_records = std::move(records);
    m_haystacks.clear();
    endResetModel();
}

bool HistoryModel::matches(int row, const QString& lowerText) const {
    if (m_haystacks.size() != m_records.size()) {
        m_haystacks.clear();
        m_haystacks.reserve(m_records.size());
        for (const history::Record& record : m_records)
            m_haystacks.push_back(
                QStringLiteral("%1 %2 %3@%4 %5 %6")
                    .arg(record.id)
                    .arg(record.at, record.user, record.host, record.program, record.summary)
                    .toLower());
    }
    return row >= 0 && row < int(m_haystacks.size()) && m_haystacks[size_t(row)].contains(lowerText);
}

void HistoryFilter::setText(const QString& text) {
    m_text = text.toLower();
    invalidateFilter();
}

bool HistoryFilter::filterAcceptsRow(int row, const QModelIndex&) const {
    return m_text.isEmpty() || static_cast<const HistoryModel*>(sourceModel())->matches(row, m_text);
}

const history::Record* HistoryModel::recordAt(int row) const {
    return row >= 0 && row < int(m_records.size()) ? &m_records[size_t(row)] : nullptr;
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_records.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    const history::Record* record = recordAt(index.row());
    if (!record || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    switch (index.column()) {
    case Number:
        return record->id;
    case When:
        return vocabulary::recordTime(*record);
    case Who:
        return vocabulary::recordWho(*record);
    case Program:
        return record->program;
    case What:
        return vocabulary::recordWhat(*record);
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {"No.", "When", "Who", "Program", "What"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(titles[section]);
}

HistoryWindow::HistoryWindow(Database& db, QWidget* parent) : QDialog(parent), m_db(db) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("History"));
    buildUi();
    settings::RestoreWindowPosition(this);
    reload();
}

void HistoryWindow::buildUi() {
    auto* top = new QVBoxLayout(this);
    auto* searchRow = new QHBoxLayout;
    auto* searchCaption = new QLabel(QStringLiteral("Search"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("Search"));
    m_search->setPlaceholderText(QStringLiteral("a wheel, a filter, a user or a program"));
    searchCaption->setBuddy(m_search);
    searchRow->addWidget(searchCaption);
    searchRow->addWidget(m_search, 1);
    top->addLayout(searchRow);

    m_model = new HistoryModel(this);
    m_filter = new HistoryFilter(this);
    m_filter->setSourceModel(m_model);
    m_records = new QTreeView(this);
    m_records->setObjectName(QStringLiteral("Records"));
    m_records->setAccessibleName(QStringLiteral("Recorded changes, newest first"));
    m_records->setModel(m_filter);
    m_records->setRootIsDecorated(false);
    m_records->setUniformRowHeights(true); // a long history lays out at once
    m_records->setSelectionMode(QAbstractItemView::SingleSelection);
    m_records->header()->setStretchLastSection(true);
    // Widths from the font, not from the rows: a long history is not measured.
    const QFontMetrics metrics = m_records->fontMetrics();
    const char* const widest[] = {"No. 000000", "0000-00-00 00:00:00 ", "operator@workstation",
                                  "filterctl /S "};
    for (int column = Number; column < What; ++column)
        m_records->setColumnWidth(column,
                                  metrics.horizontalAdvance(QString::fromLatin1(widest[column])) + 16);
    m_records->setMinimumSize(720, 260);
    top->addWidget(m_records, 2);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("RecordCount"));
    top->addWidget(m_count);

    auto* previewCaption = new QLabel(QStringLiteral("Undoing the chosen record changes:"), this);
    m_preview = new QPlainTextEdit(this);
    m_preview->setObjectName(QStringLiteral("UndoPreview"));
    m_preview->setReadOnly(true);
    m_preview->setAccessibleName(QStringLiteral("What undoing the chosen record changes"));
    previewCaption->setBuddy(m_preview);
    top->addWidget(previewCaption);
    top->addWidget(m_preview, 1);

    auto* buttons = new QHBoxLayout;
    m_undo = new QPushButton(QStringLiteral("Undo"), this);
    m_undo->setObjectName(QStringLiteral("CmdUndo"));
    m_undo->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CmdClose"));
    for (QPushButton* button : {m_undo, close})
        dialogs::pressOnlyWhenFocused(button);
    buttons->addWidget(m_undo);
    buttons->addStretch();
    buttons->addWidget(close);
    top->addLayout(buttons);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_filter->setText(text);
        m_count->setText(
            QStringLiteral("%1 of %2 records").arg(m_filter->rowCount()).arg(m_model->rowCount()));
        recordChosen();
    });
    connect(m_records->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::recordChosen);
    connect(m_undo, &QPushButton::clicked, this, &HistoryWindow::undoClicked);
    connect(close, &QPushButton::clicked, this, &HistoryWindow::reject);
}

void HistoryWindow::reload() {
    std::vector<history::Record> records;
    Result error;
    history::reconcile(m_db.path());
    if (!history::readRecords(history::pathFor(m_db.path()), {}, &records, &error))
        dialogs::message(error.description);
    m_model->setRecords(std::move(records));
    m_count->setText(QStringLiteral("%1 of %2 records").arg(m_filter->rowCount()).arg(m_model->rowCount()));
    if (m_filter->rowCount() > 0)
        m_records->setCurrentIndex(m_filter->index(0, 0));
    recordChosen();
}

const history::Record* HistoryWindow::chosenRecord() const {
    const QModelIndex current = m_records->currentIndex();
    return current.isValid() ? m_model->recordAt(m_filter->mapToSource(current).row()) : nullptr;
}

void HistoryWindow::recordChosen() {
    m_plan = history::UndoPlan();
    m_undo->setEnabled(false);
    const history::Record* record = chosenRecord();
    if (!record) {
        m_preview->setPlainText(QString());
        return;
    }
    Result error;
    if (!history::planUndo(m_db, record->id, &m_plan, &error)) {
        m_preview->setPlainText(error.description);
        return;
    }
    QStringList lines;
    for (const history::UndoPlan::Step& step : m_plan.steps)
        lines << (step.conflict ? QStringLiteral("\u26A0 ") : QStringLiteral("\u2022 ")) + step.text;
    if (m_plan.hasConflicts())
        lines << QString() << m_plan.conflictText() + QStringLiteral(" Undo the later record first.");
    m_preview->setPlainText(lines.join(QLatin1Char('\n')));
    m_undo->setEnabled(!m_plan.steps.empty() && !m_plan.hasConflicts());
}

void HistoryWindow::undoClicked() {
    Result error;
    bool undone = false;
    {
        dialogs::BusyCursor busy;
        undone = history::executeUndo(m_db, m_plan, false, &error);
    }
    if (!undone) {
        dialogs::message(error.description);
        recordChosen();
        return;
    }
    m_changed = true;
    reload();
}

void HistoryWindow::reject() {
    settings::SaveWindowPosition(this);
    QDialog::reject();
}
