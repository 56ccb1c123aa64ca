// The light-path window: the shown mode's wheels drawn on a wavelength axis.

#include "gui/lightpath/light_path_window.h"

#include "gui/dialogs.h"
#include "gui/widgets/focus_button.h"
#include "gui/window_position.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPicture>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

LightPathView::LightPathView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LightPathView"));
    setAccessibleName(QStringLiteral("Light path: the pass bands of the shown mode's wheels"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

void LightPathView::setPath(const LightPath& path) {
    m_path = path;
    m_items.clear();
    m_focused = -1;
    updateGeometry();
    update();
}

QSize LightPathView::sizeHint() const {
    return plot::LightPathPlot(m_path, palette()).preferredSize();
}

void LightPathView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    m_items = plot::LightPathPlot(m_path, palette()).paint(painter, rect());
    if (m_focused >= 0 && m_focused < int(m_items.size())) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DotLine));
        painter.drawRect(m_items[size_t(m_focused)].rect.adjusted(-2, -2, 2, 2));
    }
}

void LightPathView::mouseMoveEvent(QMouseEvent* event) {
    for (const plot::Item& item : m_items)
        if (item.rect.contains(event->position())) {
            QToolTip::showText(event->globalPosition().toPoint(), item.text, this);
            emit itemDescribed(item.text);
            return;
        }
    QToolTip::hideText();
}

void LightPathView::keyPressEvent(QKeyEvent* event) {
    if (m_items.empty()) { // not painted yet: the places, recorded without drawing pixels
        QPicture record;
        QPainter painter(&record);
        m_items = plot::LightPathPlot(m_path, palette()).paint(painter, QRectF(QPointF(0, 0), sizeHint()));
    }
    const int step = event->key() == Qt::Key_Right || event->key() == Qt::Key_Down ? 1
                     : event->key() == Qt::Key_Left || event->key() == Qt::Key_Up  ? -1
                                                                                   : 0;
    if (step == 0 || m_items.empty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    focusItem(std::clamp(m_focused + step, 0, int(m_items.size()) - 1));
}

void LightPathView::focusItem(int item) {
    m_focused = item;
    const QString text = m_items[size_t(item)].text;
    setAccessibleDescription(text);
    emit itemDescribed(text);
    update();
}

LightPathWindow::LightPathWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LightPathWindow"));
    setWindowTitle(QStringLiteral("Light Path"));
    auto* top = new QVBoxLayout(this);
    m_view = new LightPathView(this);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(m_view);
    scroll->setWidgetResizable(true);
    scroll->setMinimumSize(860, 420);
    top->addWidget(scroll, 3);
    m_described =
        new QLabel(QStringLiteral("Point at a band, or focus the drawing and use the arrow keys."), this);
    m_described->setObjectName(QStringLiteral("Described"));
    m_described->setWordWrap(true);
    m_described->setAccessibleDescription(QStringLiteral("The band pointed at"));
    top->addWidget(m_described);
    connect(m_view, &LightPathView::itemDescribed, m_described, &QLabel::setText);

    auto* tableCaption = new QLabel(QStringLiteral("The same as a table:"), this);
    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName(QStringLiteral("LightPathTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Wheel"), QStringLiteral("Position"),
                                        QStringLiteral("Filter"), QStringLiteral("Band")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setVisible(false);
    tableCaption->setBuddy(m_table);
    top->addWidget(tableCaption);
    top->addWidget(m_table, 1);

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Save Image"), this);
    save->setObjectName(QStringLiteral("CmdSaveImage"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CmdClose"));
    for (QPushButton* button : {save, close})
        dialogs::pressOnlyWhenFocused(button);
    connect(save, &QPushButton::clicked, this, &LightPathWindow::exportClicked);
    connect(close, &QPushButton::clicked, this, &LightPathWindow::reject);
    buttons->addWidget(save);
    buttons->addStretch();
    buttons->addWidget(close);
    top->addLayout(buttons);
    // Beside the main window, not over the drop-downs whose choices it draws.
    settings::RestoreOrPlaceBeside(this, parentWidget());
}

void LightPathWindow::setPath(const LightPath& path) {
    m_path = path;
    m_view->setPath(path);
    m_table->setRowCount(0);
    for (const LightPath::Lane& lane : path.lanes)
        for (const LightPath::Position& position : lane.positions)
            for (const LightPath::Filter* filter :
                 {&position.stored, position.chosen ? &*position.chosen : nullptr}) {
                if (!filter)
                    continue;
                const int row = m_table->rowCount();
                m_table->insertRow(row);
                const QString description = filter->describe();
                const QStringList cells{lane.wheel, position.position,
                                        filter == &position.stored
                                            ? filter->name
                                            : QStringLiteral("%1 (chosen, not stored)").arg(filter->name),
                                        description.section(QStringLiteral(": "), -1)};
                for (int column = 0; column < cells.size(); ++column)
                    m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
            }
}

void LightPathWindow::exportClicked() {
    const QString file =
        dialogs::saveFileName(this, QStringLiteral("light-path.svg"), QStringLiteral("Images (*.svg *.png)"));
    if (file.isEmpty())
        return;
    Result error;
    if (!plot::LightPathPlot(m_path, palette()).write(file, &error))
        dialogs::message(error.description);
}

void LightPathWindow::reject() {
    settings::SaveWindowPosition(this);
    QDialog::reject();
}
