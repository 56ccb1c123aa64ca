// The main window's start-up and Browse: the session opens, identifies and loads the file once;
// the window shows what it found, or why it could not.

#include "gui/mainwindow/main_window.h"

#include "core/access/access_import.h"
#include "core/session/early_start.h"
#include "core/settings/settings_store.h"
#include "core/vocabulary/vocabulary.h"
#include "gui/catalogue/new_filter_window.h"
#include "gui/dialogs.h"
#include "gui/mainwindow/access_conversion.h"
#include "gui/window_position.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {
const QString VersionBoxTitle = QStringLiteral("filter.exe");
using Loader = PlacementSession::Loader;
} // namespace

void MainWindow::load(const QString& commandLine) {
    const startup::Variant variant = startup::variantOf(commandLine);
    delete m_newFilterWindow; // it works on the session being replaced
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
    // Nothing is opened for a command line that is refused.
    if (variant == startup::Variant::Invalid) {
        dialogs::message(QStringLiteral("Invalid command line argument"));
        closeProgram();
        return;
    }
    startOn(settings::ReadMachineString(settings::DatabaseKey, settings::DatabaseValue));
}

void MainWindow::startOn(const QString& path) {
    const bool service = m_session->serviceMode();
    if (!service)
        m_browse->setVisible(false);
    PlacementSession::LoadReport report;
    if (auto started = m_earlyStart ? m_earlyStart->take(m_commandLine, path, &report) : nullptr) {
        m_session = std::move(started);
    } else {
        dialogs::BusyCursor busy;
        report = m_session->start(path);
    }
    m_earlyStart = nullptr;
    m_database->setText(m_session->path());
    if (!report.opened) {
        reportStartFailure(service, report.error);
        return;
    }
    if (report.loader == Loader::User)
        showUserLoad(report);
    else
        showServiceLoad(report);
    if (service)
        m_cmdFile->setVisible(true);
    m_cmdHistory->setVisible(service);
}

void MainWindow::reportStartFailure(bool serviceMode, const Result& error) {
    QString text = QStringLiteral("The configuration database cannot be used.\n\n");
    if (settings::IsTextTooLong(settings::Hive::Machine, settings::DatabaseKey, settings::DatabaseValue))
        text +=
            QStringLiteral("The configured database path (the value \"%1\" under \"%2\", settings file %3) "
                           "is longer than the %4 characters the settings store accepts. Move the database "
                           "to a shorter path and set it again.")
                .arg(settings::DatabaseValue, settings::DatabaseKey,
                     settings::HiveFile(settings::Hive::Machine))
                .arg(settings::MaxTextLength);
    else if (m_session->path().isEmpty())
        text += vocabulary::noDatabaseConfigured();
    else
        text += error.description;
    if (!serviceMode) {
        dialogs::message(text);
        m_session->database().close();
        dialogs::endProgram(1);
        return;
    }
    // A service engineer can bring an Access installation over, or point the program at another file.
    if (accessdb::isAccessFile(m_session->path())) {
        const QString converted = offerAccessConversion(this, m_session->path());
        if (!converted.isEmpty()) {
            startOn(converted);
            return;
        }
    }
    dialogs::message(text + QStringLiteral("\n\nChoose a database with Browse."));
    m_cmdFile->setVisible(true);
    m_browse->setEnabled(true);
    m_cmdClose->setEnabled(true);
}

void MainWindow::showServiceLoad(const PlacementSession::LoadReport& report) {
    m_databaseValid = true;
    if (report.error.isError()) {
        reportLoadError(report.error);
        if (report.error.code == dberr::NotADatabase) {
            m_cmdClose->setEnabled(false);
            m_browse->setEnabled(true);
            return;
        }
    } else if (showVersionVerdict(report, VersionBoxTitle)) {
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
    }
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

void MainWindow::reportLoadError(const Result& error) {
    // Only the existence check raises these, and it names what it was checking: the path.
    if (error.code == dberr::PermissionDenied || error.code == dberr::PathNotFound)
        dialogs::message(m_session->path() + QStringLiteral(": ") + error.description);
    else
        dialogs::message(error.description);
}

void MainWindow::showUserLoad(const PlacementSession::LoadReport& report) {
    m_databaseValid = true;
    if (report.error.isError()) {
        // A user cannot repair the installation from here: say why and leave.
        reportStartFailure(false, report.error);
        return;
    }
    if (showVersionVerdict(report, dialogs::appTitle())) {
        m_stand->setText(report.system.stand);
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
        dialogs::openFileName(this, m_session->path(), QStringLiteral("Databases (*.sqlite *.db *.mdb)"));
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
    m_session->prepareForAnotherFile();
    showBoard();
    for (int frame = 0; frame < wheels::PositionsPerWheel; ++frame) {
        m_cmbFilter[frame]->setEnabled(false);
        m_cmbIdPotential[frame]->setEnabled(false);
    }
    PlacementSession::LoadReport report;
    {
        dialogs::BusyCursor busy;
        report = m_session->load(chosen, Loader::AllWheels);
    }
    showServiceLoad(report);
}
