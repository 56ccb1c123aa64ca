#include "gui/mainwindow/main_window.h"

#include "core/access/access_import.h"
#include "core/settings/settings_store.h"
#include "gui/dialogs.h"
#include "gui/mainwindow/access_conversion.h"
#include "gui/window_position.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

// Start-up: finding the database and showing what the session's loads found. The decisions (which
// load, the version check, the FW1 rule) are the session's.

namespace {
const QString VersionBoxTitle = QStringLiteral("filter.exe");
using Loader = PlacementSession::Loader;
} // namespace

void MainWindow::load(const QString& commandLine) {
    m_database->setText(settings::ReadMachineString(settings::DatabaseKey, settings::DatabaseValue));
    const startup::Variant variant = startup::variantOf(commandLine);
    m_session = std::make_unique<PlacementSession>(variant);
    m_cmdHistory->setVisible(variant == startup::Variant::Service);

    settings::RestoreWindowPosition(this);
    setDesignSize();

    m_currentMode = 0;
    m_rbMode[modeIndex(wheels::Mode::EmissionFilters)]->setChecked(true);
    for (int mode = 0; mode < wheels::ModeCount; ++mode)
        m_modeFrame[mode]->setVisible(mode == modeIndex(wheels::Mode::EmissionFilters));

    m_commandLine = commandLine;
    m_selectedWheel = wheels::firstWheels();
    startOn(variant);
}

void MainWindow::startOn(startup::Variant variant) {
    DbError startError;
    m_session->database().open(m_database->text(), &startError);
    startup::SystemRecord system;
    if (!startError.isError())
        startup::readSystem(m_session->database(), m_session->startFields(), &system, &startError);

    if (variant == startup::Variant::Invalid) {
        dialogs::message(QStringLiteral("Invalid command line argument"));
        closeProgram();
        return;
    }
    if (startError.isError()) {
        reportStartFailure(variant == startup::Variant::Service, startError);
        return;
    }
    const Loader loader = m_session->startLoader(system);
    if (variant == startup::Variant::User)
        m_browse->setVisible(false);
    if (loader == Loader::User)
        loadUserWheels();
    else if (loader == Loader::FcsUnit)
        loadFcsUnit();
    else
        loadAllWheels();
    if (variant == startup::Variant::Service)
        m_cmdFile->setVisible(true);
    m_cmdHistory->setVisible(variant == startup::Variant::Service);
}

void MainWindow::reportStartFailure(bool serviceMode, const DbError& error) {
    QString text = QStringLiteral("The configuration database cannot be used.\n\n");
    if (settings::IsTextTooLong(settings::Hive::Machine, settings::DatabaseKey, settings::DatabaseValue))
        text +=
            QStringLiteral("The configured database path (the value \"%1\" under \"%2\", settings file %3) "
                           "is longer than the %4 characters the settings store accepts. Move the database "
                           "to a shorter path and set it again.")
                .arg(settings::DatabaseValue, settings::DatabaseKey,
                     settings::HiveFile(settings::Hive::Machine))
                .arg(settings::MaxTextLength);
    else if (m_database->text().isEmpty())
        text += QStringLiteral("No database path is configured: the value \"%1\" under \"%2\" is missing or "
                               "empty (settings file %3).")
                    .arg(settings::DatabaseValue, settings::DatabaseKey,
                         settings::HiveFile(settings::Hive::Machine));
    else
        text += error.description;
    if (!serviceMode) {
        dialogs::message(text);
        m_session->database().close();
        dialogs::endProgram(1);
        return;
    }
    // A service engineer can bring an Access installation over, or point the program at another file.
    if (accessdb::isAccessFile(m_database->text())) {
        const QString converted = offerAccessConversion(this, m_database->text());
        if (!converted.isEmpty()) {
            m_database->setText(converted);
            startOn(startup::Variant::Service);
            return;
        }
    }
    dialogs::message(text + QStringLiteral("\n\nChoose a database with Browse."));
    m_cmdFile->setVisible(true);
    m_browse->setEnabled(true);
    m_cmdClose->setEnabled(true);
}

void MainWindow::loadAllWheels() {
    m_databaseValid = true;
    m_cmdClose->setEnabled(false);
    m_browse->setEnabled(false);
    const DbError error = runServiceLoad(Loader::AllWheels);
    if (error.isError()) {
        reportLoadError(error);
        if (error.code == dberr::NotADatabase) {
            m_browse->setEnabled(true);
            return;
        }
    }
    m_cmdClose->setEnabled(true);
    m_browse->setEnabled(true);
}

void MainWindow::loadFcsUnit() {
    m_databaseValid = true;
    m_cmdClose->setEnabled(false);
    m_browse->setEnabled(false);
    const DbError error = runServiceLoad(Loader::FcsUnit);
    if (error.isError())
        reportLoadError(error);
    m_cmdClose->setEnabled(true);
    m_browse->setEnabled(true);
}

bool MainWindow::showVersionVerdict(const PlacementSession::LoadReport& report, const QString& boxTitle) {
    if (report.error.isError() || report.versionAccepted)
        return !report.error.isError();
    dialogs::message(startup::versionMessage(report.version), boxTitle);
    m_databaseValid = false;
    return false;
}

DbError MainWindow::runServiceLoad(Loader loader) {
    const PlacementSession::LoadReport report = runLoad(loader);
    if (!showVersionVerdict(report, VersionBoxTitle))
        return report.error;
    m_config[0]->setVisible(true);
    for (QLabel* config : m_config)
        config->setText(settings::CaptionText(settings::DoubleAmpersand(report.system.configuration)));
    m_stand->setText(report.system.stand);
    showLoadResult(*report.result);
    if (m_session->serviceMode())
        m_cmdFile->setVisible(true);
    m_cmdStore[modeIndex(wheels::Mode::EmissionFilters)]->setEnabled(true);
    m_cmdEdit[modeIndex(wheels::Mode::EmissionFilters)]->setEnabled(true);
    m_cmdFile->setEnabled(true);
    m_cmdHistory->setEnabled(true);
    return {};
}

PlacementSession::LoadReport MainWindow::runLoad(Loader loader) {
    dialogs::BusyCursor busy;
    return m_session->load(m_database->text(), loader);
}

void MainWindow::reportLoadError(const DbError& error) {
    // Only the existence check raises these, and it names what it was checking: the path.
    if (error.code == dberr::PermissionDenied || error.code == dberr::PathNotFound)
        dialogs::message(m_database->text() + QStringLiteral(": ") + error.description);
    else
        dialogs::message(error.description);
}

void MainWindow::loadUserWheels() {
    m_cmdClose->setEnabled(false);
    m_databaseValid = true;
    const PlacementSession::LoadReport report = runLoad(Loader::User);
    if (report.error.isError()) {
        // A user cannot repair the installation from here: say why and leave.
        reportStartFailure(false, report.error);
        return;
    }
    if (showVersionVerdict(report, dialogs::appTitle())) {
        m_stand->setText(report.system.stand);
        m_rbMode[modeIndex(wheels::Mode::EmissionFilters)]->setVisible(false);
        m_rbMode[modeIndex(wheels::Mode::BeamSplitters)]->setVisible(false);
        showLoadResult(*report.result);
        if (dialogs::endRequested())
            return;
        m_rbMode[modeIndex(wheels::Mode::FilterCubes)]->setChecked(true);
        switchMode(modeIndex(wheels::Mode::FilterCubes));
    }
    m_cmdClose->setEnabled(true);
}

void MainWindow::browseClicked() {
    QString chosen =
        dialogs::openFileName(this, m_database->text(), QStringLiteral("Databases (*.sqlite *.db *.mdb)"));
    if (!chosen.isEmpty() && accessdb::isAccessFile(chosen))
        chosen = offerAccessConversion(this, chosen);
    if (chosen.isEmpty())
        return;
    m_database->setText(chosen);
    const int emission = modeIndex(wheels::Mode::EmissionFilters);
    m_cmdStore[emission]->setEnabled(false);
    m_cmdEdit[emission]->setEnabled(false);
    m_cmdFile->setEnabled(false);
    m_cmdHistory->setEnabled(false);
    m_rbMode[emission]->setChecked(true);
    switchMode(emission);
    // The emission wheels are off and the FCS wheels gone until the new file's load finds them.
    WheelBoard& board = m_session->installation().board;
    board.modeEnabled.fill(false);
    for (int wheel : wheels::wheelsOfMode(wheels::Mode::EmissionFilters)) {
        if (wheels::button(wheel).kind == wheels::SetKind::FcsEmission)
            board.buttons[wheel].visible = false;
        else
            board.buttons[wheel].enabled = false;
    }
    showBoard();
    for (int frame = 0; frame < wheels::PositionsPerWheel; ++frame) {
        m_cmbFilter[frame]->setEnabled(false);
        m_cmbIdPotential[frame]->setEnabled(false);
    }
    loadAllWheels();
}
