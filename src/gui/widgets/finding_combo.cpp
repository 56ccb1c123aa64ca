#include "gui/widgets/finding_combo.h"

#include "gui/widgets/text_list_model.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>

namespace {
constexpr int VisibleRows = 14;
} // namespace

// The entries of the drop-down that contain the typed text, in their order. Typing on narrows the
// entries left rather than the whole list, so each further key is cheaper than the first.
class NarrowedEntries : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(const TextList& entries) {
        beginResetModel();
        m_entries = entries;
        m_all = true;
        m_rows.clear();
        m_text.clear();
        endResetModel();
    }

    void narrow(const QString& text) {
        beginResetModel();
        if (text.isEmpty()) {
            m_all = true;
            m_rows.clear();
        } else {
            std::vector<int> rows;
            const TextList::Finder finder(m_entries, text);
            const auto keep = [&](int row) {
                if (finder.matches(row))
                    rows.push_back(row);
            };
            if (!m_all && text.startsWith(m_text, Qt::CaseInsensitive))
                std::for_each(m_rows.begin(), m_rows.end(), keep);
            else
                for (int row = 0; row < m_entries.size(); ++row)
                    keep(row);
            m_rows = std::move(rows);
            m_all = false;
        }
        m_text = text;
        endResetModel();
    }

    int entryOf(int row) const {
        if (m_all)
            return row;
        return row >= 0 && row < int(m_rows.size()) ? m_rows[row] : -1;
    }
    int rowOf(int entry) const {
        if (m_all)
            return entry;
        const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), entry);
        return at != m_rows.end() && *at == entry ? int(at - m_rows.begin()) : -1;
    }

    // The list view asks for every row's index when it lays a list out: answered without the
    // general checks, which cost more than the rest of the layout for a whole catalogue.
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override {
        return row >= 0 && column == 0 && !parent.isValid() && row < rowCount() ? createIndex(row, 0)
                                                                                : QModelIndex();
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : (m_all ? m_entries.size() : int(m_rows.size()));
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
            return QVariant();
        return m_entries.value(entryOf(index.row()));
    }

private:
    TextList m_entries;
    bool m_all = true;
    std::vector<int> m_rows; // ascending entry numbers while narrowed
    QString m_text;
};

FindingComboBox::FindingComboBox(QWidget* parent) : QComboBox(parent) {}

QSize FindingComboBox::sizeHint() const {
    // Sized from the minimum contents length, never by measuring the entries of a large catalogue.
    // (The size policy that does so would make each drop-down's unused built-in popup at start.)
    const QFontMetrics metrics = fontMetrics();
    QSize text(0, qMax(qCeil(QFontMetricsF(metrics).height()), 14) + 2);
    if (minimumContentsLength() > 0)
        text.setWidth(minimumContentsLength() * metrics.horizontalAdvance(QLatin1Char('X')) +
                      iconSize().width() + 4);
    text.setHeight(qMax(text.height(), iconSize().height() + 2));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, this);
}

QSize FindingComboBox::minimumSizeHint() const {
    return sizeHint();
}

FindingComboBox::~FindingComboBox() = default;

void FindingComboBox::buildPopup() {
    auto* frame = new QFrame(this, Qt::Popup);
    frame->setFrameShape(QFrame::StyledPanel);
    m_popup = frame;
    auto* column = new QVBoxLayout(m_popup);
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);
    m_filterLine = new QLabel(m_popup);
    m_filterLine->setObjectName(QStringLiteral("FindingText"));
    m_filterLine->setVisible(false);
    m_entries = new NarrowedEntries(this);
    m_list = new QListView(m_popup);
    m_list->setObjectName(objectName() + QStringLiteral("_list"));
    m_list->setAccessibleName(accessibleName());
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setModel(m_entries);
    m_list->installEventFilter(this);
    connect(m_list, &QListView::clicked, this, &FindingComboBox::choose);
    column->addWidget(m_filterLine);
    column->addWidget(m_list);
}

TextList FindingComboBox::entries() const {
    // The catalogue lists are shared whole, without a text made per entry.
    if (const auto* texts = dynamic_cast<const TextListModel*>(model()))
        return texts->list();
    TextList texts;
    for (int row = 0; row < count(); ++row)
        texts << itemText(row);
    return texts;
}

void FindingComboBox::showPopup() {
    if (!m_popup)
        buildPopup();
    m_entries->setEntries(entries());
    narrow(QString());
    const int rowHeight = qMax(1, m_list->sizeHintForRow(0));
    const int rows = qBound(1, m_entries->rowCount(), VisibleRows);
    m_popup->resize(qMax(width(), 160), rows * rowHeight + 2 * m_list->frameWidth() + 4);
    QPoint below = mapToGlobal(QPoint(0, height()));
    if (const QScreen* shown = screen()) {
        if (below.y() + m_popup->height() > shown->availableGeometry().bottom())
            below.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
    }
    m_popup->move(below);
    const QModelIndex current = m_entries->index(m_entries->rowOf(currentIndex()), 0);
    m_list->setCurrentIndex(current);
    m_list->scrollTo(current, QAbstractItemView::PositionAtCenter);
    m_popup->show();
    m_list->setFocus();
}

void FindingComboBox::hidePopup() {
    if (m_popup) {
        m_popup->hide();
        // The list may be a whole catalogue: do not keep it alive past a reload.
        m_entries->setEntries(TextList());
    }
    QComboBox::hidePopup();
}

void FindingComboBox::narrow(const QString& typed) {
    m_typed = typed;
    m_entries->narrow(typed);
    m_filterLine->setText(typed);
    m_filterLine->setVisible(!typed.isEmpty());
    if (m_entries->rowCount() > 0)
        m_list->setCurrentIndex(m_entries->index(0, 0));
}

void FindingComboBox::choose(const QModelIndex& index) {
    const int entry = index.isValid() ? m_entries->entryOf(index.row()) : -1;
    hidePopup();
    if (entry < 0)
        return;
    setCurrentIndex(entry);
    emit activated(entry);
}

bool FindingComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_list || event->type() != QEvent::KeyPress)
        return QComboBox::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(m_list->currentIndex());
        return true;
    case Qt::Key_Escape:
        hidePopup();
        return true;
    case Qt::Key_Backspace:
        narrow(m_typed.left(m_typed.size() - 1));
        return true;
    default:
        break;
    }
    const QString text = key->text();
    if (!text.isEmpty() && text.at(0).isPrint() &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        narrow(m_typed + text);
        return true;
    }
    return false; // the arrows, Page Up and Down, Home and End move in the list
}
