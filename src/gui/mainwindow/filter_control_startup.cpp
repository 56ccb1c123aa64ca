#include "gui/mainwindow/filter_control_form.h"

#include "core/settings/tool.h"
#include "core/startup/startup.h"
#include "gui/dialogs.h"
#include "gui/tool_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

// Start-up: finding, opening and checking the database, and choosing the variant.

namespace {
const QString VersionBoxTitle = QStringLiteral("filter.exe");
} // namespace

void FilterControlForm::load(const QString& commandLine) {
    m_database->setText(tool::ReadMachineString(tool::DatabaseKey, tool::DatabaseValue));
    DbError startError;
    m_configDb.open(m_database->text(), &startError);

    tool::RestoreWindowPosition(this);
    setDesignSize();

    m_currentMode = 0;
    m_rbMode[wheels::EmissionFilters]->setChecked(true);
    for (int mode = 0; mode < ModeCount; ++mode)
        m_modeFrame[mode]->setVisible(mode == wheels::EmissionFilters);

    m_commandLine = commandLine;
    m_selectedWheel = wheels::firstWheels();
    m_marlinScanUnit = false;

    const startup::Variant variant = startup::variantOf(commandLine);
    startup::SystemRecord system;
    // Every variant reads the scan unit; only the service start-up reads the FCS unit.
    std::vector<startup::SystemField> fields{startup::SystemField::ScanUnit};
    if (variant == startup::Variant::Service)
        fields.push_back(startup::SystemField::FcsUnit);
    if (!startError.isError())
        startup::readSystem(m_configDb, fields, &system, &startError);

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
    if (tool::IsTextTooLong(tool::Hive::Machine, tool::DatabaseKey, tool::DatabaseValue))
        text +=
            QStringLiteral("The configured database path (the value \"%1\" under \"%2\", settings file %3) "
                           "is longer than the %4 characters the settings store accepts. Move the database "
                           "to a shorter path and set it again.")
                .arg(tool::DatabaseValue, tool::DatabaseKey, tool::HiveFile(tool::Hive::Machine))
                .arg(tool::MaxTextLength);
    else if (m_database->text().isEmpty())
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
    m_loadComplete = false;
    m_databaseValid = true;
    m_cmdClose->setEnabled(false);
    m_browse->setEnabled(false);
    DbError error;
    if (!runServiceLoad(Loader::All, &error)) {
        reportLoadError(error);
        if (error.code == dberr::NotADatabase) {
            m_browse->setEnabled(true);
            return;
        }
    }
    m_cmdClose->setEnabled(true);
    m_browse->setEnabled(true);
}

void FilterControlForm::LoadFCSSystem() {
    m_loadComplete = false;
    m_databaseValid = true;
    m_cmdClose->setEnabled(false);
    m_browse->setEnabled(false);
    DbError error;
    if (!runServiceLoad(Loader::Fcs, &error))
        reportLoadError(error);
    m_cmdClose->setEnabled(true);
    m_browse->setEnabled(true);
}

bool FilterControlForm::openSystem(const QString& versionBoxTitle,
                                   const std::vector<startup::SystemField>& fields,
                                   startup::SystemRecord* system, bool* accepted, DbError* error) {
    const QString path = m_database->text();
    if (!startup::checkFileExists(path, error) || !m_configDb.open(path, error))
        return false;
    if (!checkVersion(versionBoxTitle, accepted, error))
        return false;
    return !*accepted || startup::readSystem(m_configDb, fields, system, error);
}

bool FilterControlForm::runServiceLoad(Loader loader, DbError* error) {
    startup::SystemRecord system;
    bool accepted = false;
    using startup::SystemField;
    // The FCS unit's load reads no scan unit; the service load of all wheels reads the FCS unit again.
    std::vector<SystemField> fields{SystemField::Configuration, SystemField::Stand};
    if (loader == Loader::All)
        fields.push_back(SystemField::ScanUnit);
    if (loader == Loader::All && !m_commandLine.isEmpty())
        fields.push_back(SystemField::FcsUnit);
    if (!openSystem(VersionBoxTitle, fields, &system, &accepted, error))
        return false;
    if (!accepted)
        return true;
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
    m_cmdStore[wheels::EmissionFilters]->setEnabled(true);
    m_cmdEdit[wheels::EmissionFilters]->setEnabled(true);
    m_cmdFile->setEnabled(true);
    return true;
}

void FilterControlForm::reportLoadError(const DbError& error) {
    // Only the existence check raises these, and it names what it was checking: the path.
    if (error.code == dberr::PermissionDenied || error.code == dberr::PathNotFound)
        dialogs::message(m_database->text() + QStringLiteral(": ") + error.description);
    else
        dialogs::message(error.description);
}

void FilterControlForm::User() {
    m_loadComplete = false;
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
    startup::SystemRecord system;
    bool accepted = false;
    if (!openSystem(dialogs::appTitle(), {startup::SystemField::Stand}, &system, &accepted, error))
        return false;
    if (!accepted)
        return true;
    m_stativ->setText(system.stand);
    m_rbMode[wheels::EmissionFilters]->setVisible(false);
    m_rbMode[wheels::BeamSplitters]->setVisible(false);
    m_installation.board.modeEnabled[wheels::FilterCubes] = true;
    showBoard();
    InitAllFilters();
    applyFw1Rule();
    m_rbMode[wheels::FilterCubes]->setChecked(true);
    switchMode(wheels::FilterCubes);
    return true;
}

void FilterControlForm::applyFw1Rule() {
    bool found = false;
    if (!startup::hasUsableFw1Set(m_configDb, &found, nullptr) || !found)
        return;
    // The first cube button stands for the FW1 wheel; the other cube buttons disappear.
    ButtonState& fw1 = m_installation.board.buttons[wheels::Fw1Wheel];
    fw1.enabled = true;
    fw1.caption = QStringLiteral("FW1");
    for (int wheel : wheels::wheelsOfMode(wheels::FilterCubes))
        if (wheel != wheels::Fw1Wheel)
            m_installation.board.buttons[wheel].visible = false;
    showBoard();
}

void FilterControlForm::browseClicked() {
    const QString chosen =
        dialogs::openFileName(this, m_database->text(), QStringLiteral("Databases (*.sqlite *.db *.mdb)"));
    if (chosen.isEmpty())
        return;
    m_database->setText(chosen);
    m_cmdStore[wheels::EmissionFilters]->setEnabled(false);
    m_cmdEdit[wheels::EmissionFilters]->setEnabled(false);
    m_cmdFile->setEnabled(false);
    m_rbMode[wheels::EmissionFilters]->setChecked(true);
    switchMode(wheels::EmissionFilters);
    // The emission wheels are off and the FCS wheels gone until the new file's load finds them.
    WheelBoard& board = m_installation.board;
    board.modeEnabled.fill(false);
    for (int wheel : wheels::wheelsOfMode(wheels::EmissionFilters)) {
        if (wheels::button(wheel).kind == wheels::SetKind::FcsEmission)
            board.buttons[wheel].visible = false;
        else
            board.buttons[wheel].enabled = false;
    }
    showBoard();
    for (int frame = 0; frame < 8; ++frame) {
        m_cmbFilter[frame]->setEnabled(false);
        m_cmbIdPotential[frame]->setEnabled(false);
    }
    LoadSystem();
}
