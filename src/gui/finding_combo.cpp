#include "gui/finding_combo.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QVBoxLayout>

namespace {
constexpr int VisibleRows = 14;
} // namespace

FindingComboBox::FindingComboBox(QWidget* parent) : QComboBox(parent) {
    // Sizing to the contents would measure every entry of a large catalogue.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

FindingComboBox::~FindingComboBox() = default;

void FindingComboBox::buildPopup() {
    m_popup = new QFrame(this, Qt::Popup);
    static_cast<QFrame*>(m_popup)->setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(m_popup);
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);
    m_filterLine = new QLabel(m_popup);
    m_filterLine->setObjectName(QStringLiteral("FindingText"));
    m_filterLine->setVisible(false);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_list = new QListView(m_popup);
    m_list->setObjectName(objectName() + QStringLiteral("_list"));
    m_list->setAccessibleName(accessibleName());
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setModel(m_proxy);
    m_list->installEventFilter(this);
    connect(m_list, &QListView::clicked, this, &FindingComboBox::choose);
    column->addWidget(m_filterLine);
    column->addWidget(m_list);
}

void FindingComboBox::showPopup() {
    if (!m_popup)
        buildPopup();
    if (m_proxy->sourceModel() != model())
        m_proxy->setSourceModel(model());
    narrow(QString());
    const int rowHeight = qMax(1, m_list->sizeHintForRow(0));
    const int rows = qBound(1, m_proxy->rowCount(), VisibleRows);
    m_popup->resize(qMax(width(), 160), rows * rowHeight + 2 * m_list->frameWidth() + 4);
    QPoint below = mapToGlobal(QPoint(0, height()));
    if (const QScreen* shown = screen()) {
        const QRect area = shown->availableGeometry();
        if (below.y() + m_popup->height() > area.bottom())
            below.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
    }
    m_popup->move(below);
    const QModelIndex current = m_proxy->mapFromSource(model()->index(currentIndex(), modelColumn()));
    m_list->setCurrentIndex(current);
    m_list->scrollTo(current, QAbstractItemView::PositionAtCenter);
    m_popup->show();
    m_list->setFocus();
}

void FindingComboBox::hidePopup() {
    if (m_popup)
        m_popup->hide();
    QComboBox::hidePopup();
}

void FindingComboBox::narrow(const QString& typed) {
    m_typed = typed;
    m_proxy->setFilterFixedString(typed);
    m_filterLine->setText(typed);
    m_filterLine->setVisible(!typed.isEmpty());
    if (m_proxy->rowCount() > 0 && !m_list->currentIndex().isValid())
        m_list->setCurrentIndex(m_proxy->index(0, 0));
}

void FindingComboBox::choose(const QModelIndex& proxyIndex) {
    const QModelIndex source = m_proxy->mapToSource(proxyIndex);
    hidePopup();
    if (!source.isValid())
        return;
    setCurrentIndex(source.row());
    emit activated(source.row());
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
