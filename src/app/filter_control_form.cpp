#include "filter_control_form.h"

#include "dialogs.h"
#include "startup.h"
#include "tool.h"
#include "tool_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

struct WheelButton {
    int index;
    const char* caption;
};

const std::array<std::vector<WheelButton>, 3> WheelButtonsOfMode{{
    {{0, "1"}, {1, "2"}, {2, "3"}, {3, "4"}, {4, "M"}, {15, "FCS_1"}, {16, "FCS_2"}, {17, "FCS_M"}},
    {{5, "1"}, {6, "2"}, {7, "3"}, {8, "4"}},
    {{9, "HFT"}, {10, "NFT1"}, {11, "NFT2"}, {12, "NFT3"}, {13, "MBS"}, {14, "DBS"}},
}};

const std::array<const char*, 3> ModeCaptions{
    {"Emission Filters", "Filter Cubes Stand", "Beam Splitters Corvid"}};

// The design size of the window in twips; it shows exactly one mode frame.
constexpr int DesignWidthTwips = 7240;
constexpr int DesignHeightTwips = 10305;

const QString VersionBoxTitle = QStringLiteral("filter.exe");

QString indexed(const char* name, int index) {
    return QString::fromLatin1(name) + QLatin1Char('_') + QString::number(index);
}

} // namespace

FilterControlForm::FilterControlForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FilterControlForm"));
    setWindowTitle(QStringLiteral("Emission Filter & Beam Splitter Control"));
    buildUi();
}

FilterControlForm::~FilterControlForm() = default;

void FilterControlForm::buildUi() {
    auto* top = new QVBoxLayout(this);

    auto* databaseRow = new QHBoxLayout;
    auto* databaseCaption = new QLabel(QStringLiteral("System Database"), this);
    m_database = new QLabel(QStringLiteral("System_Configurations.sqlite"), this);
    m_database->setObjectName(QStringLiteral("Database"));
    m_database->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_database->setFrameShape(QFrame::StyledPanel);
    m_database->setMinimumWidth(200);
    m_database->setAccessibleName(QStringLiteral("System database path"));
    m_browse = new QPushButton(QStringLiteral("Browse"), this);
    m_browse->setObjectName(QStringLiteral("Browse"));
    connect(m_browse, &QPushButton::clicked, this, &FilterControlForm::browseClicked);
    databaseRow->addWidget(databaseCaption);
    databaseRow->addWidget(m_database, 1);
    databaseRow->addWidget(m_browse);
    top->addLayout(databaseRow);

    m_stativ = new QLabel(this);
    m_stativ->setObjectName(QStringLiteral("Stativ"));
    m_stativ->setAccessibleName(QStringLiteral("Microscope stand"));
    top->addWidget(m_stativ);

    auto* modeRow = new QHBoxLayout;
    for (int mode = 0; mode < ModeCount; ++mode) {
        m_rbMode[mode] = new QRadioButton(QString::fromLatin1(ModeCaptions[mode]), this);
        m_rbMode[mode]->setObjectName(indexed("RbMode", mode));
        connect(m_rbMode[mode], &QRadioButton::clicked, this, [this, mode] { switchMode(mode); });
        modeRow->addWidget(m_rbMode[mode]);
    }
    modeRow->addStretch();
    top->addLayout(modeRow);

    // The three frames share one place; only the current mode's is visible.
    auto* frames = new QGridLayout;
    for (int mode = 0; mode < ModeCount; ++mode)
        frames->addWidget(buildModeFrame(mode), 0, 0);
    top->addLayout(frames, 1);

    auto* bottom = new QHBoxLayout;
    m_cmdFile = new QPushButton(QStringLiteral("ExcelFile"), this);
    m_cmdFile->setObjectName(QStringLiteral("CmdFile"));
    m_cmdFile->setVisible(false);
    m_cmdFile->setEnabled(false);
    m_cmdClose = new QPushButton(QStringLiteral("Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("CmdClose"));
    connect(m_cmdClose, &QPushButton::clicked, this, &FilterControlForm::closeProgram);
    bottom->addWidget(m_cmdFile);
    bottom->addStretch();
    bottom->addWidget(m_cmdClose);
    top->addLayout(bottom);
}

QGroupBox* FilterControlForm::buildModeFrame(int mode) {
    auto* frame = new QGroupBox(QString::fromLatin1(ModeCaptions[mode]), this);
    frame->setObjectName(indexed("ModeFrame", mode));
    frame->setVisible(mode == 0);
    auto* grid = new QGridLayout(frame);

    int row = 0;
    if (mode != 1) {
        const int configIndex = mode == 0 ? 0 : 1;
        auto* config = new QLabel(frame);
        config->setObjectName(indexed("Config", configIndex));
        config->setAccessibleName(QStringLiteral("System configuration"));
        config->setVisible(configIndex != 0);
        m_config[configIndex] = config;
        grid->addWidget(config, row++, 0, 1, 2);
    }
    grid->addWidget(new QLabel(QStringLiteral("Filter-Wheel No."), frame), row, 0);
    grid->addWidget(new QLabel(QStringLiteral("Position"), frame), row, 1);
    ++row;

    auto* wheels = new QWidget(frame); // radio-like buttons are exclusive within this container
    auto* wheelColumn = new QVBoxLayout(wheels);
    wheelColumn->setContentsMargins(0, 0, 0, 0);
    for (const WheelButton& wheel : WheelButtonsOfMode[mode]) {
        auto* button = new QPushButton(QString::fromLatin1(wheel.caption), wheels);
        button->setObjectName(indexed("CmdNr", wheel.index));
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setEnabled(false);
        // The changers beyond the first and the FCS wheels appear only when a loader finds them.
        button->setVisible(wheel.index < 10);
        m_cmdNr[wheel.index] = button;
        wheelColumn->addWidget(button);
    }
    wheelColumn->addStretch();
    grid->addWidget(wheels, row, 0);

    auto* positions = new QVBoxLayout;
    for (int p = 0; p < 8; ++p)
        positions->addWidget(buildPositionFrame(8 * mode + p));
    positions->addStretch();
    grid->addLayout(positions, row, 1);
    grid->setColumnStretch(1, 1);
    ++row;

    auto* buttons = new QHBoxLayout;
    m_cmdStore[mode] = new QPushButton(QStringLiteral("Store"), frame);
    m_cmdStore[mode]->setObjectName(indexed("CmdStore", mode));
    m_cmdStore[mode]->setEnabled(false);
    m_cmdEdit[mode] = new QPushButton(QStringLiteral("Edit Filter List"), frame);
    m_cmdEdit[mode]->setObjectName(indexed("CmdEdit", mode));
    m_cmdEdit[mode]->setEnabled(false);
    buttons->addWidget(m_cmdStore[mode]);
    buttons->addStretch();
    buttons->addWidget(m_cmdEdit[mode]);
    grid->addLayout(buttons, row, 0, 1, 2);

    m_modeFrame[mode] = frame;
    return frame;
}

QWidget* FilterControlForm::buildPositionFrame(int frame) {
    const QString position = QString::number(frame % 8 + 1);
    auto* box = new QFrame(this);
    box->setObjectName(indexed("FrmObjective", frame));
    box->setFrameShape(QFrame::StyledPanel);
    box->setVisible(false);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(4, 2, 4, 2);

    m_lbPosition[frame] = new QLabel(position, box);
    m_lbPosition[frame]->setObjectName(indexed("LbPosition", frame));
    m_lbPosition[frame]->setMinimumWidth(16);
    m_cmbFilter[frame] = new QComboBox(box);
    m_cmbFilter[frame]->setObjectName(indexed("CmbFilter", frame));
    m_cmbFilter[frame]->setAccessibleName(QStringLiteral("Position %1 filter").arg(position));
    m_cmbFilter[frame]->setEnabled(false);
    m_cmbIdPotential[frame] = new QComboBox(box);
    m_cmbIdPotential[frame]->setObjectName(indexed("CmbIDPotential", frame));
    m_cmbIdPotential[frame]->setAccessibleName(QStringLiteral("Position %1 code number").arg(position));
    m_cmbIdPotential[frame]->setEnabled(false);

    row->addWidget(m_lbPosition[frame]);
    row->addWidget(m_cmbFilter[frame], 3);
    row->addWidget(m_cmbIdPotential[frame], 2);
    m_frmObjective[frame] = box;
    return box;
}

void FilterControlForm::setDesignSize() {
    const double dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    const QSize design(qRound(DesignWidthTwips * dpi / tool::TwipsPerInch),
                       qRound(DesignHeightTwips * dpi / tool::TwipsPerInch));
    resize(design.expandedTo(minimumSizeHint()));
}

void FilterControlForm::load(const QString& commandLine) {
    m_database->setText(tool::ReadMachineString(tool::DatabaseKey, tool::DatabaseValue));
    DbError startError;
    m_configDb.open(m_database->text(), &startError);

    tool::RestoreWindowPosition(this);
    setDesignSize();

    m_currentMode = 0;
    m_rbMode[0]->setChecked(true);
    for (int mode = 0; mode < ModeCount; ++mode)
        m_modeFrame[mode]->setVisible(mode == 0);

    m_commandLine = commandLine;
    m_selectedWheel = {{0, 5, 9, 0}};
    m_marlinScanUnit = false;

    startup::SystemRecord system;
    if (!startError.isError())
        startup::readSystem(m_configDb, &system, &startError);

    const startup::Variant variant = startup::variantOf(commandLine);
    if (variant == startup::Variant::Invalid) {
        dialogs::message(QStringLiteral("Invalid command line argument"));
        closeProgram();
        return;
    }
    if (startError.isError()) {
        reportStartFailure(variant == startup::Variant::Service, startError);
        return;
    }
    if (variant == startup::Variant::User) {
        m_browse->setVisible(false);
        if (startup::isMarlin(system)) {
            m_marlinScanUnit = true;
            LoadSystem();
            applyFw1Rule();
        } else {
            User();
        }
        return;
    }
    if (startup::needsFcsLoader(system))
        LoadFCSSystem();
    else
        LoadSystem();
    m_cmdFile->setVisible(true);
}

void FilterControlForm::reportStartFailure(bool serviceMode, const DbError& error) {
    QString text = QStringLiteral("The configuration database cannot be used.\n\n");
    if (m_database->text().isEmpty())
        text += QStringLiteral("No database path is configured: the value \"%1\" under \"%2\" is missing or "
                               "empty (settings file %3).")
                    .arg(tool::DatabaseValue, tool::DatabaseKey, tool::HiveFile(tool::Hive::Machine));
    else
        text += error.description;
    if (!serviceMode) {
        dialogs::message(text);
        m_configDb.close();
        dialogs::endProgram(1);
        return;
    }
    // A service engineer can still point the program at another file.
    dialogs::message(text + QStringLiteral("\n\nChoose a database with Browse."));
    m_cmdFile->setVisible(true);
    m_browse->setEnabled(true);
    m_cmdClose->setEnabled(true);
}

bool FilterControlForm::checkVersion(const QString& boxTitle, bool* accepted, DbError* error) {
    QString version;
    if (!startup::readVersionText(m_configDb, &version, error))
        return false;
    *accepted = startup::isVersionAccepted(version);
    if (!*accepted) {
        dialogs::message(startup::versionMessage(version), boxTitle);
        m_databaseValid = false;
    }
    return true;
}

void FilterControlForm::LoadSystem() {
    m_databaseValid = true;
    m_cmdClose->setEnabled(false);
    m_browse->setEnabled(false);
    QString context;
    DbError error;
    if (!runServiceLoad(Loader::All, &context, &error)) {
        reportLoadError(error, context);
        if (error.code == dberr::NotADatabase) {
            m_browse->setEnabled(true);
            return;
        }
    }
    m_cmdClose->setEnabled(true);
    m_browse->setEnabled(true);
}

void FilterControlForm::LoadFCSSystem() {
    m_databaseValid = true;
    m_cmdClose->setEnabled(false);
    m_browse->setEnabled(false);
    QString context;
    DbError error;
    if (!runServiceLoad(Loader::Fcs, &context, &error))
        reportLoadError(error, context);
    m_cmdClose->setEnabled(true);
    m_browse->setEnabled(true);
}

bool FilterControlForm::runServiceLoad(Loader loader, QString* context, DbError* error) {
    const QString path = m_database->text();
    *context = path;
    if (!startup::checkFileExists(path, error))
        return false;
    if (loader == Loader::Fcs)
        m_configDb.close();
    if (!m_configDb.open(path, error))
        return false;
    *context = path + QStringLiteral(" - System Versions ");
    bool accepted = false;
    if (!checkVersion(VersionBoxTitle, &accepted, error))
        return false;
    if (!accepted)
        return true;

    startup::SystemRecord system;
    if (!startup::readSystem(m_configDb, &system, error))
        return false;
    m_config[0]->setVisible(true);
    for (QLabel* config : m_config)
        config->setText(tool::CaptionText(tool::DoubleAmpersand(system.configuration)));
    m_stativ->setText(system.stand);

    if (loader == Loader::Fcs) {
        InitFCSFilters();
    } else if (m_commandLine.isEmpty()) {
        InitAllFilters();
    } else {
        if (startup::needsFcsLoader(system))
            InitFCSFilters();
        else
            InitAllFilters();
        m_cmdFile->setVisible(true);
    }
    m_cmdStore[0]->setEnabled(true);
    m_cmdEdit[0]->setEnabled(true);
    m_cmdFile->setEnabled(true);
    return true;
}

void FilterControlForm::reportLoadError(const DbError& error, const QString& context) {
    if (error.code == dberr::PermissionDenied || error.code == dberr::PathNotFound)
        dialogs::message(context + QStringLiteral(": ") + error.description);
    else
        dialogs::message(error.description);
}

void FilterControlForm::User() {
    m_cmdClose->setEnabled(false);
    m_databaseValid = true;
    DbError error;
    if (!runUserLoad(&error)) {
        // A user cannot repair the installation from here: say why and leave.
        reportStartFailure(false, error);
        return;
    }
    m_cmdClose->setEnabled(true);
}

bool FilterControlForm::runUserLoad(DbError* error) {
    const QString path = m_database->text();
    if (!startup::checkFileExists(path, error))
        return false;
    m_configDb.close();
    if (!m_configDb.open(path, error))
        return false;
    bool accepted = false;
    if (!checkVersion(dialogs::appTitle(), &accepted, error))
        return false;
    if (!accepted)
        return true;
    startup::SystemRecord system;
    if (!startup::readSystem(m_configDb, &system, error))
        return false;
    m_stativ->setText(system.stand);
    m_rbMode[0]->setVisible(false);
    m_rbMode[2]->setVisible(false);
    m_rbMode[1]->setEnabled(true);
    InitAllFilters();
    applyFw1Rule();
    m_rbMode[1]->setChecked(true);
    switchMode(1);
    return true;
}

void FilterControlForm::applyFw1Rule() {
    bool found = false;
    if (!startup::hasUsableFw1Set(m_configDb, &found, nullptr) || !found)
        return;
    m_cmdNr[5]->setEnabled(true);
    m_cmdNr[5]->setText(QStringLiteral("FW1"));
    for (int wheel = 6; wheel <= 8; ++wheel)
        m_cmdNr[wheel]->setVisible(false);
}

void FilterControlForm::browseClicked() {
    const QString chosen =
        dialogs::openFileName(this, m_database->text(), QStringLiteral("Databases (*.sqlite *.db *.mdb)"));
    if (chosen.isEmpty())
        return;
    m_database->setText(chosen);
    m_cmdStore[0]->setEnabled(false);
    m_cmdEdit[0]->setEnabled(false);
    m_cmdFile->setEnabled(false);
    m_rbMode[0]->setChecked(true);
    switchMode(0);
    for (QRadioButton* mode : m_rbMode)
        mode->setEnabled(false);
    for (int wheel = 0; wheel <= 4; ++wheel)
        m_cmdNr[wheel]->setEnabled(false);
    for (int frame = 0; frame < 8; ++frame) {
        m_cmbFilter[frame]->setEnabled(false);
        m_cmbIdPotential[frame]->setEnabled(false);
    }
    for (int wheel = 15; wheel <= 17; ++wheel)
        m_cmdNr[wheel]->setVisible(false);
    LoadSystem();
}

void FilterControlForm::InitAllFilters() {}

void FilterControlForm::InitFCSFilters() {}

void FilterControlForm::switchMode(int mode) {
    if (mode != m_currentMode) {
        m_currentMode = mode;
        for (int i = 0; i < ModeCount; ++i)
            m_modeFrame[i]->setVisible(i == mode);
    }
}

void FilterControlForm::closeProgram() {
    m_configDb.close();
    tool::SaveWindowPosition(this);
    dialogs::endProgram(0);
}

void FilterControlForm::closeEvent(QCloseEvent* event) {
    tool::SaveWindowPosition(this);
    event->accept();
    dialogs::endProgram(0);
}

void FilterControlForm::bringToFront() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}
