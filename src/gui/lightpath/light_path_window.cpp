// The light-path window: the shown mode's wheels drawn on a wavelength axis.

#include "gui/lightpath/light_path_window.h"

#include "gui/dialogs.h"
#include "gui/widgets/finding_combo.h"
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
#include <QSpinBox>
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
    top->addLayout(buildDyeRow());
    m_fitSummary =
        new QLabel(QStringLiteral("Choose a dye to rank the light paths this installation can form."), this);
    m_fitSummary->setObjectName(QStringLiteral("FitSummary"));
    m_fitSummary->setWordWrap(true);
    top->addWidget(m_fitSummary);
    top->addWidget(buildFitTable(), 1);
    m_positions = new QLabel(this);
    m_positions->setObjectName(QStringLiteral("FitPositions"));
    m_positions->setWordWrap(true);
    m_positions->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    top->addWidget(m_positions);
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

namespace {

// A dye as the dye field lists it: "EGFP (GFP), 488/507 nm", or "mScarlet (from FILE), 569/594 nm".
QString dyeEntry(const spectra::Dye& dye) {
    const QString besides =
        dye.source != QLatin1String("built in") ? QStringLiteral(" (from %1)").arg(dye.source)
        : dye.aliases.isEmpty()                 ? QString()
                                : QStringLiteral(" (%1)").arg(dye.aliases.join(QStringLiteral(", ")));
    return QStringLiteral("%1%2, %3/%4 nm")
        .arg(dye.name, besides)
        .arg(dye.excitationPeak)
        .arg(dye.emissionPeak);
}

} // namespace

QLayout* LightPathWindow::buildDyeRow() {
    auto* row = new QHBoxLayout;
    m_dyes = spectra::builtInDyes();
    m_dye = new FindingComboBox(this);
    m_dye->setObjectName(QStringLiteral("CmbDye"));
    m_dye->setMinimumContentsLength(28);
    m_dye->setAccessibleDescription(QStringLiteral("Type while the list is open to narrow it"));
    m_dye->addItem(QStringLiteral("(none)"));
    for (const spectra::Dye& dye : m_dyes)
        m_dye->addItem(dyeEntry(dye));
    connect(m_dye, &QComboBox::currentIndexChanged, this, [this] {
        m_fitTable->setRowCount(0); // another dye: its best path first
        refit();
    });
    auto* dyeLabel = new QLabel(QStringLiteral("&Dye:"), this);
    dyeLabel->setBuddy(m_dye);
    m_laser = new QSpinBox(this);
    m_laser->setObjectName(QStringLiteral("SpinLaser"));
    m_laser->setRange(0, int(spectra::LongestNm));
    m_laser->setSpecialValueText(QStringLiteral("the splitter's line"));
    m_laser->setSuffix(QStringLiteral(" nm"));
    connect(m_laser, &QSpinBox::valueChanged, this, &LightPathWindow::refit);
    auto* laserLabel = new QLabel(QStringLiteral("&Laser:"), this);
    laserLabel->setBuddy(m_laser);
    auto* file = dialogs::dialogButton(this, QStringLiteral("CmdDyeFile"), QStringLiteral("Dye &File..."),
                                       &LightPathWindow::dyeFileClicked);
    file->setToolTip(QStringLiteral("A dye's excitation and emission, as spectra viewers export them"));
    for (QWidget* widget : std::initializer_list<QWidget*>{dyeLabel, m_dye, laserLabel, m_laser, file})
        row->addWidget(widget);
    row->addStretch();
    return row;
}

QTableWidget* LightPathWindow::buildFitTable() {
    m_fitTable = new QTableWidget(0, 7, this);
    m_fitTable->setObjectName(QStringLiteral("FitTable"));
    m_fitTable->setAccessibleName(QStringLiteral("Light paths ranked for the dye"));
    m_fitTable->setHorizontalHeaderLabels({QStringLiteral("Rank"), QStringLiteral("Emission"),
                                           QStringLiteral("Line"), QStringLiteral("Reaches"),
                                           QStringLiteral("Excites"), QStringLiteral("Score"),
                                           QStringLiteral("Path")});
    m_fitTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fitTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_fitTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_fitTable->horizontalHeader()->setStretchLastSection(true);
    m_fitTable->verticalHeader()->setVisible(false);
    connect(m_fitTable, &QTableWidget::currentCellChanged, this, [this](int row) { showRankedPath(row); });
    return m_fitTable;
}

void LightPathWindow::chooseDye(int dye) {
    m_dye->setCurrentIndex(dye + 1);
}

std::optional<double> LightPathWindow::laser() const {
    return m_laser->value() > 0 ? std::optional<double>(m_laser->value()) : std::nullopt;
}

// The ranked paths for the dye chosen, the best one drawn; the mode's wheels without one.
void LightPathWindow::refit() {
    // The path the user chose stays chosen when the ranking is made again for the same dye.
    const QString chosen = m_fitTable->currentRow() >= 0 && m_fitTable->item(m_fitTable->currentRow(), 6)
                               ? m_fitTable->item(m_fitTable->currentRow(), 6)->text()
                               : QString();
    const int dye = m_dye->currentIndex() - 1;
    m_fitTable->setRowCount(0);
    m_positions->clear();
    if (dye < 0 || dye >= int(m_dyes.size()) || !m_fitter) {
        m_fit = spectra::FitResult();
        m_fitSummary->setText(
            QStringLiteral("Choose a dye to rank the light paths this installation can form."));
        showDrawing(m_path);
        return;
    }
    m_fit = m_fitter(m_dyes[size_t(dye)], laser());
    constexpr int Shown = 50;
    const int rows = std::min(Shown, int(m_fit.paths.size()));
    m_fitTable->setAccessibleName(QStringLiteral("Light paths ranked for %1").arg(m_dyes[size_t(dye)].name));
    m_fitTable->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const spectra::FitPath& path = m_fit.paths[size_t(row)];
        const bool cube = path.cube >= 0;
        const QStringList cells{QString::number(row + 1),
                                spectra::percentText(path.emitted),
                                cube        ? QStringLiteral("cube")
                                : path.line ? QStringLiteral("%1 nm").arg(*path.line)
                                            : QStringLiteral("none"),
                                cube           ? QStringLiteral("-")
                                : path.reaches ? QStringLiteral("yes")
                                               : QStringLiteral("no"),
                                cube ? QStringLiteral("-") : spectra::percentText(path.excited),
                                spectra::percentText(path.score),
                                m_fit.describe(path)};
        for (int column = 0; column < cells.size(); ++column)
            m_fitTable->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    QString summary =
        QStringLiteral("%1 light paths for %2, best first%3.")
            .arg(m_fit.paths.size())
            .arg(m_dyes[size_t(dye)].name, rows < int(m_fit.paths.size())
                                               ? QStringLiteral(" (the first %1 listed)").arg(rows)
                                               : QString());
    if (!m_fit.withoutValues.isEmpty())
        summary += QStringLiteral(" Left out, with neither wavelengths nor a measured spectrum: %1.")
                       .arg(m_fit.withoutValues.join(QStringLiteral(", ")));
    m_fitSummary->setText(summary);
    if (rows == 0) {
        showDrawing(m_path);
        return;
    }
    const QList<QTableWidgetItem*> same =
        chosen.isEmpty() ? QList<QTableWidgetItem*>() : m_fitTable->findItems(chosen, Qt::MatchExactly);
    m_fitTable->setCurrentCell(same.isEmpty() ? 0 : same.front()->row(), 0);
}

void LightPathWindow::showRankedPath(int row) {
    const int dye = m_dye->currentIndex() - 1;
    if (row < 0 || row >= int(m_fit.paths.size()) || dye < 0)
        return;
    const spectra::FitPath& path = m_fit.paths[size_t(row)];
    QStringList select;
    for (const auto& [wheel, position] : m_fit.positionsOf(path))
        select << QStringLiteral("%1 position %2").arg(wheel, position);
    m_positions->setText(
        QStringLiteral("To image it this way, select %1.").arg(select.join(QStringLiteral(", "))));
    showDrawing(spectra::drawingOf(m_fit, path, m_dyes[size_t(dye)], laser()));
}

void LightPathWindow::dyeFileClicked() {
    const QString file =
        dialogs::openFileName(this, QString(), QStringLiteral("Spectra (*.csv *.txt *.tsv);;All files (*)"));
    if (file.isEmpty())
        return;
    spectra::Dye dye;
    if (Result read = spectra::readDye(file, QString(), &dye); read.isError()) {
        dialogs::message(read.description);
        return;
    }
    m_dyes.push_back(dye);
    m_dye->addItem(dyeEntry(dye));
    chooseDye(int(m_dyes.size()) - 1);
}

void LightPathWindow::setPath(const LightPath& path) {
    m_path = path;
    if (m_dye->currentIndex() > 0)
        refit(); // a Store may have changed what is installed
    else
        showDrawing(path);
}

void LightPathWindow::showDrawing(const LightPath& path) {
    m_drawing = path;
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
                const QStringList cells{lane.title.isEmpty() ? lane.wheel : lane.title, position.position,
                                        filter == &position.stored
                                            ? filter->name
                                            : QStringLiteral("%1 (chosen, not stored)").arg(filter->name),
                                        filter->values()};
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
    if (!plot::LightPathPlot(m_drawing, palette()).write(file, &error))
        dialogs::message(error.description);
}

void LightPathWindow::reject() {
    settings::SaveWindowPosition(this);
    QDialog::reject();
}
