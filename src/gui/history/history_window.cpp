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
#include <QTableView>
#include <QVBoxLayout>

namespace {
enum Column { Number, When, Who, Program, What, ColumnCount };
} // namespace

void HistoryModel::setLines(history::RecordLines lines) {
    beginResetModel();
    m_lines = std::move(lines);
    m_lastLine = -1;
    m_searching = false;
    if (!m_search.isEmpty()) {
        m_found = m_lines.find(m_search);
        m_searching = true;
    }
    endResetModel();
}

void HistoryModel::appendOlder(history::RecordLines older) {
    if (older.isEmpty())
        return;
    if (m_searching) { // the older records' matches follow the newer ones'
        const int base = m_lines.size();
        std::vector<int> found = older.find(m_search);
        m_lines.appendOlder(std::move(older));
        if (found.empty())
            return;
        beginInsertRows({}, int(m_found.size()), int(m_found.size() + found.size()) - 1);
        for (int line : found)
            m_found.push_back(base + line);
        endInsertRows();
        return;
    }
    beginInsertRows({}, m_lines.size(), m_lines.size() + older.size() - 1);
    m_lines.appendOlder(std::move(older));
    endInsertRows();
}

void HistoryModel::setSearch(const QString& text) {
    if (text == m_search)
        return;
    beginResetModel();
    // One more key narrows the rows found already.
    const bool narrows = m_searching && !m_search.isEmpty() && text.contains(m_search, Qt::CaseInsensitive);
    m_search = text;
    m_searching = !text.isEmpty();
    if (m_searching)
        m_found = m_lines.find(text, narrows ? &m_found : nullptr);
    else
        m_found = {};
    endResetModel();
}

history::Record HistoryModel::recordAt(int row) const {
    if (row < 0 || row >= rowCount())
        return {};
    const int line = lineOf(row);
    if (line != m_lastLine) {
        m_last = m_lines.record(line);
        m_lastLine = line;
    }
    return m_last;
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_searching ? int(m_found.size()) : m_lines.size();
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const history::Record record = recordAt(index.row());
    if (record.id == 0)
        return {};
    switch (index.column()) {
    case Number:
        return record.id;
    case When:
        return vocabulary::recordTime(record);
    case Who:
        return vocabulary::recordWho(record);
    case Program:
        return record.program;
    case What:
        return vocabulary::recordWhat(record);
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
    // A table rather than a tree: a tree lays out an item a row, 10-40 ms at each search over a
    // million records, where a table's rows are all one height and laid out by arithmetic.
    m_records = new QTableView(this);
    m_records->setObjectName(QStringLiteral("Records"));
    m_records->setAccessibleName(QStringLiteral("Recorded changes, newest first"));
    m_records->setModel(m_model);
    m_records->setShowGrid(false);
    m_records->setWordWrap(false);
    m_records->setSelectionMode(QAbstractItemView::SingleSelection);
    m_records->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_records->verticalHeader()->hide();
    m_records->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_records->verticalHeader()->setDefaultSectionSize(m_records->fontMetrics().height() + 6);
    m_records->horizontalHeader()->setStretchLastSection(true);
    m_records->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
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
        m_model->setSearch(text);
        showCount();
        if (m_model->rowCount() > 0)
            m_records->setCurrentIndex(m_model->index(0, 0));
        recordChosen();
    });
    connect(m_records->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::recordChosen);
    connect(m_undo, &QPushButton::clicked, this, &HistoryWindow::undoClicked);
    connect(close, &QPushButton::clicked, this, &HistoryWindow::reject);
}

HistoryWindow::~HistoryWindow() {
    stopReading();
}

// The newest records are shown at once; a long history's older ones are read on a thread of their
// own and put below them when read, so that the window opens as fast with a million records.
constexpr int NewestShownFirst = 500;

void HistoryWindow::reload() {
    stopReading();
    history::RecordLines newest;
    Result error;
    history::reconcile(m_db.path());
    const QString path = history::pathFor(m_db.path());
    if (!history::readRecordLines(path, 0, NewestShownFirst, &newest, nullptr, &error))
        dialogs::message(error.description);
    const bool more = newest.size() == NewestShownFirst;
    const qint64 oldest = newest.oldestId();
    m_model->setLines(std::move(newest));
    if (more)
        readOlder(oldest);
    showCount();
    if (m_model->rowCount() > 0)
        m_records->setCurrentIndex(m_model->index(0, 0));
    recordChosen();
}

void HistoryWindow::readOlder(qint64 before) {
    m_stopReading = false;
    const int reading = ++m_readings;
    m_reader = std::thread([this, path = history::pathFor(m_db.path()), before, reading] {
        auto older = std::make_shared<history::RecordLines>();
        auto error = std::make_shared<Result>();
        if (!history::readRecordLines(path, before, 0, older.get(), &m_stopReading, error.get()) &&
            m_stopReading)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, older, error, reading] {
                if (reading != m_readings)
                    return;    // a reload read the history again since
                stopReading(); // the thread has ended: joined at once
                if (error->isError())
                    dialogs::message(error->description);
                m_model->appendOlder(std::move(*older));
                showCount();
            },
            Qt::QueuedConnection);
    });
}

void HistoryWindow::stopReading() {
    ++m_readings; // a result already on its way belongs to no reading now
    if (!m_reader.joinable())
        return;
    m_stopReading = true;
    m_reader.join();
}

void HistoryWindow::showCount() {
    QString text = QStringLiteral("%1 of %2 records").arg(m_model->rowCount()).arg(m_model->recordCount());
    if (isReading())
        text += QStringLiteral(", reading the older ones\u2026");
    m_count->setText(text);
}

qint64 HistoryWindow::chosenId() const {
    const QModelIndex current = m_records->currentIndex();
    return current.isValid() ? m_model->recordAt(current.row()).id : 0;
}

void HistoryWindow::recordChosen() {
    m_plan = history::UndoPlan();
    m_undo->setEnabled(false);
    const qint64 id = chosenId();
    if (id == 0) {
        m_preview->setPlainText(QString());
        return;
    }
    Result error;
    if (!history::planUndo(m_db, id, &m_plan, &error)) {
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
        // The reading's read locks on the history would keep the undo's record out: it is let
        // finish (a second at a million records), and its records still arrive.
        if (m_reader.joinable())
            m_reader.join();
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
    stopReading();
    settings::SaveWindowPosition(this);
    QDialog::reject();
}
