// The main window: its widgets, the design size, closing and coming to the front.

#include "gui/mainwindow/main_window.h"

#include "core/settings/settings_store.h"
#include "core/vocabulary/vocabulary.h"
#include "gui/dialogs.h"
#include "gui/widget_names.h"
#include "gui/widgets/finding_combo.h"
#include "gui/widgets/text_list_model.h"
#include "gui/window_position.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace Names = names::mainWindow;

namespace {

// The design size of the window in twips; it shows exactly one mode frame.
constexpr int DesignWidthTwips = 7240;
constexpr int DesignHeightTwips = 10305;

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(Names::Window);
    setWindowTitle(Names::Title);
    for (int group = 0; group < wheels::GroupCount; ++group) {
        m_idModels[group] = new TextListModel(this);
        m_codeModels[group] = new TextListModel(this);
    }
    buildUi();
    m_session = std::make_unique<PlacementSession>(startup::Variant::User);
    showBoard();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildUi() {
    auto* top = new QVBoxLayout(this);

    auto* databaseRow = new QHBoxLayout;
    auto* databaseCaption = new QLabel(Names::DatabaseCaption, this);
    m_database = new QLabel(Names::DatabaseAtStart, this);
    m_database->setObjectName(Names::Database);
    m_database->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_database->setFrameShape(QFrame::StyledPanel);
    m_database->setMinimumWidth(200);
    // A label that shows a value keeps it as its name, so a screen reader says it; the meaning is
    // its description and its caption's.
    m_database->setAccessibleDescription(QStringLiteral("System database path"));
    databaseCaption->setBuddy(m_database);
    m_browse = new QPushButton(Names::Browse, this);
    m_browse->setObjectName(Names::Browse);
    connect(m_browse, &QPushButton::clicked, this, &MainWindow::browseClicked);
    databaseRow->addWidget(databaseCaption);
    databaseRow->addWidget(m_database, 1);
    databaseRow->addWidget(m_browse);
    top->addLayout(databaseRow);

    m_stand = new QLabel(this);
    m_stand->setObjectName(Names::Stand);
    m_stand->setAccessibleDescription(QStringLiteral("Microscope stand"));
    top->addWidget(m_stand);

    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(Names::StatusLine);
    m_statusLine->setWordWrap(true);
    m_statusLine->setFrameShape(QFrame::StyledPanel);
    // The theme's tooltip colours: set apart from the window, readable in every palette.
    m_statusLine->setStyleSheet(QStringLiteral("QLabel#StatusLine { background: palette(tool-tip-base); "
                                               "color: palette(tool-tip-text); padding: 4px; }"));
    m_statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_statusLine->setAccessibleDescription(QStringLiteral("Database status"));
    m_statusLine->setVisible(false);
    top->addWidget(m_statusLine);

    // The radio buttons' own container: Qt groups auto-exclusive buttons by parent, with every
    // descendant, so beside the wheel buttons they would uncheck and unfocus those.
    auto* modes = new QWidget(this);
    auto* modeRow = new QHBoxLayout(modes);
    modeRow->setContentsMargins(0, 0, 0, 0);
    for (int mode = 0; mode < wheels::ModeCount; ++mode) {
        m_rbMode[mode] = new QRadioButton(vocabulary::modeCaption(mode), modes);
        m_rbMode[mode]->setObjectName(names::indexed(Names::ModeButton, mode));
        connect(m_rbMode[mode], &QRadioButton::clicked, this, [this, mode] { switchMode(mode); });
        modeRow->addWidget(m_rbMode[mode]);
    }
    modeRow->addStretch();
    top->addWidget(modes);

    // The three frames share one place; only the current mode's is visible.
    auto* frames = new QGridLayout;
    for (int mode = 0; mode < wheels::ModeCount; ++mode)
        frames->addWidget(buildModeFrame(mode), 0, 0);
    top->addLayout(frames, 1);

    auto* bottom = new QHBoxLayout;
    m_cmdFile = new QPushButton(Names::ExcelFile, this);
    m_cmdFile->setObjectName(Names::CmdFile);
    m_cmdFile->setVisible(false);
    m_cmdFile->setEnabled(false);
    connect(m_cmdFile, &QPushButton::clicked, this, &MainWindow::excelFileClicked);
    // Service mode's own addition: every recorded write, and its undo.
    m_cmdHistory = new QPushButton(Names::History, this);
    m_cmdHistory->setObjectName(Names::CmdHistory);
    m_cmdHistory->setVisible(false);
    m_cmdHistory->setEnabled(false);
    connect(m_cmdHistory, &QPushButton::clicked, this, &MainWindow::historyClicked);
    m_cmdClose = new QPushButton(Names::Close, this);
    m_cmdClose->setObjectName(Names::CmdClose);
    connect(m_cmdClose, &QPushButton::clicked, this, &MainWindow::closeProgram);
    bottom->addWidget(m_cmdFile);
    bottom->addWidget(m_cmdHistory);
    // The pass bands of the shown mode's wheels, drawn; for every user.
    m_cmdLightPath = new QPushButton(Names::LightPath, this);
    m_cmdLightPath->setObjectName(Names::CmdLightPath);
    connect(m_cmdLightPath, &QPushButton::clicked, this, &MainWindow::lightPathClicked);
    bottom->addWidget(m_cmdLightPath);
    bottom->addStretch();
    bottom->addWidget(m_cmdClose);
    top->addLayout(bottom);
}

QGroupBox* MainWindow::buildModeFrame(int mode) {
    auto* frame = new QGroupBox(vocabulary::modeCaption(mode), this);
    frame->setObjectName(names::indexed(Names::ModeFrame, mode));
    frame->setVisible(mode == modeIndex(wheels::Mode::EmissionFilters));
    auto* grid = new QGridLayout(frame);

    int row = 0;
    if (mode != modeIndex(wheels::Mode::FilterCubes)) {
        const int configIndex = mode == modeIndex(wheels::Mode::EmissionFilters) ? 0 : 1;
        auto* config = new QLabel(frame);
        config->setObjectName(names::indexed(Names::Config, configIndex));
        config->setAccessibleDescription(QStringLiteral("System configuration"));
        config->setVisible(configIndex != 0);
        m_config[configIndex] = config;
        grid->addWidget(config, row++, 0, 1, 2);
    }
    grid->addWidget(new QLabel(Names::WheelColumn, frame), row, 0);
    grid->addWidget(new QLabel(Names::PositionColumn, frame), row, 1);
    ++row;

    auto* wheels = new QWidget(frame); // radio-like buttons are exclusive within this container
    auto* wheelColumn = new QVBoxLayout(wheels);
    wheelColumn->setContentsMargins(0, 0, 0, 0);
    for (int index : wheels::wheelsOfMode(mode)) {
        auto* button = new QPushButton(wheels);
        button->setObjectName(names::indexed(Names::WheelButton, index));
        button->setCheckable(true);
        button->setAutoExclusive(true);
        connect(button, &QPushButton::clicked, this, [this, index] { showWheel(index); });
        m_cmdNr[index] = button;
        wheelColumn->addWidget(button);
    }
    wheelColumn->addStretch();
    grid->addWidget(wheels, row, 0);

    auto* positions = new QVBoxLayout;
    for (int p = 0; p < wheels::PositionsPerWheel; ++p)
        positions->addWidget(buildPositionFrame(firstFrame(mode) + p));
    positions->addStretch();
    grid->addLayout(positions, row, 1);
    grid->setColumnStretch(1, 1);
    ++row;

    auto* buttons = new QHBoxLayout;
    m_cmdStore[mode] = new QPushButton(Names::Store, frame);
    m_cmdStore[mode]->setObjectName(names::indexed(Names::CmdStore, mode));
    // Mode 0's buttons wait for a load; the others are usable from the start.
    m_cmdStore[mode]->setEnabled(mode != modeIndex(wheels::Mode::EmissionFilters));
    connect(m_cmdStore[mode], &QPushButton::clicked, this, [this, mode] { storeClicked(mode); });
    m_cmdEdit[mode] = new QPushButton(Names::EditList, frame);
    m_cmdEdit[mode]->setObjectName(names::indexed(Names::CmdEdit, mode));
    m_cmdEdit[mode]->setEnabled(mode != modeIndex(wheels::Mode::EmissionFilters));
    connect(m_cmdEdit[mode], &QPushButton::clicked, this, [this, mode] { editClicked(mode); });
    buttons->addWidget(m_cmdStore[mode]);
    buttons->addStretch();
    buttons->addWidget(m_cmdEdit[mode]);
    grid->addLayout(buttons, row, 0, 1, 2);

    m_modeFrame[mode] = frame;
    return frame;
}

QWidget* MainWindow::buildPositionFrame(int frame) {
    const QString position = QString::number(frame % wheels::PositionsPerWheel + 1);
    auto* box = new QFrame(this);
    box->setObjectName(names::indexed(Names::PositionFrame, frame));
    box->setFrameShape(QFrame::StyledPanel);
    box->setVisible(false);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(4, 2, 4, 2);

    m_lbPosition[frame] = new QLabel(position, box);
    m_lbPosition[frame]->setObjectName(names::indexed(Names::PositionLabel, frame));
    m_lbPosition[frame]->setMinimumWidth(16);
    m_cmbFilter[frame] = new FindingComboBox(box);
    m_cmbFilter[frame]->setObjectName(names::indexed(Names::FilterChoice, frame));
    m_cmbFilter[frame]->setAccessibleName(QStringLiteral("Position %1 filter").arg(position));
    m_cmbFilter[frame]->setEnabled(false);
    m_cmbIdPotential[frame] = new FindingComboBox(box);
    m_cmbIdPotential[frame]->setObjectName(names::indexed(Names::CodeChoice, frame));
    m_cmbIdPotential[frame]->setAccessibleName(QStringLiteral("Position %1 code number").arg(position));
    m_cmbIdPotential[frame]->setEnabled(false);
    for (QComboBox* combo : {m_cmbFilter[frame], m_cmbIdPotential[frame]})
        combo->setMinimumContentsLength(12);
    // The two lists of a position always show the same candidate.
    connect(m_cmbFilter[frame], &QComboBox::activated, this,
            [this, frame] { mirrorSelection(m_cmbFilter[frame], m_cmbIdPotential[frame]); });
    connect(m_cmbIdPotential[frame], &QComboBox::activated, this,
            [this, frame] { mirrorSelection(m_cmbIdPotential[frame], m_cmbFilter[frame]); });

    // Marks a chosen filter that is not stored yet: a symbol in bold, not colour alone.
    m_changeMark[frame] = new QLabel(QStringLiteral("\u25C6"), box);
    m_changeMark[frame]->setObjectName(names::indexed(Names::ChangeMark, frame));
    QFont bold = m_changeMark[frame]->font();
    bold.setBold(true);
    m_changeMark[frame]->setFont(bold);
    m_changeMark[frame]->setVisible(false);

    row->addWidget(m_lbPosition[frame]);
    row->addWidget(m_cmbFilter[frame], 3);
    row->addWidget(m_cmbIdPotential[frame], 2);
    row->addWidget(m_changeMark[frame]);
    m_frmObjective[frame] = box;
    return box;
}

void MainWindow::setDesignSize() {
    const double dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    const QSize design(qRound(DesignWidthTwips * dpi / settings::TwipsPerInch),
                       qRound(DesignHeightTwips * dpi / settings::TwipsPerInch));
    resize(design.expandedTo(minimumSizeHint()));
}

void MainWindow::closeProgram() {
    m_session->database().close();
    settings::SaveWindowPosition(this);
    dialogs::endProgram(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    settings::SaveWindowPosition(this);
    event->accept();
    dialogs::endProgram(0);
}

void MainWindow::bringToFront() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}
