// The placement editor: showing and editing one wheel per mode, storing it, the mode switch and
// the main window's reaction to the catalogue windows.

#include "gui/mainwindow/main_window.h"

#include "core/db/schema.h"
#include "core/inspect/placement_export.h"
#include "core/placement/loader.h"
#include "core/vocabulary/vocabulary.h"
#include "gui/catalogue/favourites_window.h"
#include "gui/catalogue/new_filter_window.h"
#include "gui/dialogs.h"
#include "gui/exchange/import_window.h"
#include "gui/exchange/package_window.h"
#include "gui/history/history_window.h"
#include "gui/lightpath/light_path_window.h"
#include "gui/widgets/text_list_model.h"

#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {

// What a wheel button is called aloud: its kind and its caption ("Emission filter wheel 2").
QString wheelName(int wheel, const QString& caption) {
    return QStringLiteral("%1 %2").arg(vocabulary::wheelKind(wheels::index(wheels::modeOfWheel(wheel))),
                                       caption);
}

} // namespace

void MainWindow::showBoard() {
    const WheelBoard& board = m_session->installation().board;
    for (int wheel = 0; wheel < wheels::ButtonCount; ++wheel) {
        m_cmdNr[wheel]->setEnabled(board.buttons[wheel].enabled);
        m_cmdNr[wheel]->setVisible(board.buttons[wheel].visible);
        m_cmdNr[wheel]->setText(board.buttons[wheel].caption);
        m_cmdNr[wheel]->setAccessibleName(wheelName(wheel, board.buttons[wheel].caption));
    }
    for (int mode = 0; mode < wheels::ModeCount; ++mode) {
        m_rbMode[mode]->setEnabled(board.modeEnabled[mode]);
        m_rbMode[mode]->setVisible(board.modeVisible[mode]);
    }
}

void MainWindow::endOnFatalData(const QString& message) {
    dialogs::message(message);
    m_session->database().close();
    dialogs::endProgram(1);
}

void MainWindow::showLoadResult(const LoadResult& result) {
    showBoard();
    m_storeNote.clear();
    updateStatusLine();
    if (result.outcome == LoadResult::Outcome::Fatal)
        endOnFatalData(result.message);
    else if (result.outcome == LoadResult::Outcome::Complete)
        showWheel(m_selectedWheel[size_t(modeIndex(wheels::Mode::EmissionFilters))]);
}

void MainWindow::reloadWheels() {
    if (dialogs::endRequested())
        return;
    LoadResult result;
    {
        dialogs::BusyCursor busy;
        result = m_session->reload();
    }
    showLoadResult(result);
}

QStringList MainWindow::wheelFiltersOf(int wheel) const {
    const PlacementState& state = m_session->installation().placement;
    if (wheel < 0 || wheel >= int(state.WheelFilters.size()) || !state.WheelFilters[size_t(wheel)])
        return {};
    return *state.WheelFilters[size_t(wheel)];
}

void MainWindow::showGroupInRow(int mode, wheels::Group group) {
    const CandidateList& candidates = candidatesOf(m_session->installation().candidates, group);
    const int index = static_cast<int>(group);
    m_idModels[index]->setList(candidates.CandidateIds);
    TextList codes = candidates.CandidateCodes;
    // Lists appended to during a run, or codes whose lookup stopped early, may be shorter.
    while (codes.size() < candidates.CandidateIds.size())
        codes << QString();
    m_codeModels[index]->setList(codes);
    for (int frame = firstFrame(mode); frame < firstFrame(mode) + wheels::PositionsPerWheel; ++frame) {
        m_frmObjective[frame]->setVisible(false);
        if (m_cmbFilter[frame]->model() != m_idModels[index])
            m_cmbFilter[frame]->setModel(m_idModels[index]);
        if (m_cmbIdPotential[frame]->model() != m_codeModels[index])
            m_cmbIdPotential[frame]->setModel(m_codeModels[index]);
    }
}

void MainWindow::showWheel(int wheel) {
    if (wheel < 0 || wheel >= wheels::ButtonCount)
        return;
    const int mode = wheels::index(wheels::modeOfWheel(wheel));
    const wheels::Group group = wheels::groupOfWheel(wheel);
    showGroupInRow(mode, group);
    const TextList& candidates = candidatesOf(m_session->installation().candidates, group).CandidateIds;
    const QStringList placed = wheelFiltersOf(wheel);
    const QHash<QString, int> found = candidates.firstRows(placed);
    for (int p = 0; p < placed.size() && p < wheels::PositionsPerWheel; ++p) {
        const int frame = firstFrame(mode) + p;
        // The first entry stands in for a placed filter that is not a candidate.
        const int index = candidates.isEmpty() ? -1 : found.value(placed[p], 0);
        m_cmbFilter[frame]->setCurrentIndex(index);
        m_cmbIdPotential[frame]->setCurrentIndex(index);
        m_frmObjective[frame]->setVisible(true);
        m_cmbFilter[frame]->setEnabled(true);
        m_cmbIdPotential[frame]->setEnabled(true);
        m_selectedWheel[mode] = wheel;
    }
    // The shown wheel is the one Store writes, also when the display was not started by a click.
    if (!placed.isEmpty()) {
        m_cmdNr[wheel]->setChecked(true);
        // As for radio buttons: Tab enters a mode's wheels at the checked one, the arrows move on.
        for (int other : wheels::wheelsOfMode(mode))
            m_cmdNr[other]->setFocusPolicy(other == wheel ? Qt::StrongFocus : Qt::ClickFocus);
    }
    markUnstored(mode);
    refreshLightPath();
}

void MainWindow::mirrorSelection(QComboBox* from, QComboBox* to) {
    to->setCurrentIndex(from->currentIndex());
    for (int mode = 0; mode < wheels::ModeCount; ++mode)
        markUnstored(mode);
    refreshLightPath();
}

void MainWindow::markUnstored(int mode) {
    const std::vector<PlacementRow>& rows = m_session->shownRows(m_selectedWheel[size_t(mode)]);
    for (int p = 0; p < wheels::PositionsPerWheel; ++p) {
        const int frame = firstFrame(mode) + p;
        const QString chosen = m_cmbFilter[frame]->currentText();
        const QString stored = p < int(rows.size()) ? rows[size_t(p)].filter : QString();
        const bool unstored =
            p < int(rows.size()) && m_frmObjective[frame]->isVisibleTo(this) && chosen != stored;
        m_changeMark[frame]->setVisible(unstored);
        const QString change = unstored ? vocabulary::changeDescription(stored, chosen) : QString();
        m_changeMark[frame]->setToolTip(change);
        m_changeMark[frame]->setAccessibleDescription(change);
    }
}

bool MainWindow::isMarkedUnstored(int frame) const {
    return frame >= 0 && frame < wheels::FrameCount && !m_changeMark[frame]->isHidden();
}

void MainWindow::storeClicked(int mode) {
    for (int wheel : wheels::wheelsOfMode(mode)) {
        const QStringList placed = wheelFiltersOf(wheel);
        if (!m_cmdNr[wheel]->isChecked() || wheel >= int(placement().WheelFilters.size()) ||
            !placement().WheelFilters[size_t(wheel)])
            continue;
        QStringList chosen;
        for (int p = 0; p < placed.size(); ++p)
            chosen << m_cmbFilter[firstFrame(mode) + p]->currentText();
        PlacementSession::StoreReport report;
        {
            dialogs::BusyCursor busy;
            report = m_session->storeWheel(wheel, chosen, [](const QString& question) {
                return dialogs::message(question, dialogs::appTitle(), QMessageBox::Yes | QMessageBox::No) ==
                       QMessageBox::Yes;
            });
        }
        if (!report.message.isEmpty())
            dialogs::message(report.message);
        if (!report.stored)
            continue;
        markUnstored(mode);
        refreshLightPath();
        m_storeNote = report.note;
        updateStatusLine();
    }
}

void MainWindow::updateStatusLine() {
    QStringList lines;
    for (const QString& line : {m_session->recoveryNote(), m_session->loadProblem(), m_storeNote})
        if (!line.isEmpty())
            lines << line;
    m_statusLine->setText(lines.join(QLatin1Char('\n')));
    m_statusLine->setVisible(!lines.isEmpty());
}

CatalogueContext MainWindow::catalogueContext() {
    CatalogueContext context;
    context.catalogue = &m_session->catalogue();
    context.newFiltersWindow = [this] { return newFiltersWindow(); };
    context.openImportWindow = [](NewFilterWindow& form) {
        ImportWindow import(form, &form);
        dialogs::execModal(&import);
    };
    return context;
}

NewFilterWindow* MainWindow::newFiltersWindow() {
    if (!m_newFilterWindow)
        m_newFilterWindow = new NewFilterWindow(catalogueContext(), this);
    return m_newFilterWindow;
}

void MainWindow::editClicked(int mode) {
    m_session->catalogue().setScope(mode, m_selectedWheel);
    {
        FavouritesWindow favourites(catalogueContext(), this);
        dialogs::execModal(&favourites);
    }
    if (dialogs::endRequested())
        return;
    windowActivated();
}

void MainWindow::excelFileClicked() {
    {
        PackageWindow configurations(*m_session, this);
        dialogs::execModal(&configurations);
    }
    reloadAfterWindow();
}

void MainWindow::historyClicked() {
    bool changed = false;
    {
        HistoryWindow window(m_session->database(), this);
        dialogs::execModal(&window);
        changed = window.changedInstallation();
    }
    if (changed)
        reloadAfterWindow();
}

void MainWindow::lightPathClicked() {
    if (!m_lightPath) {
        m_lightPath = new LightPathWindow(this);
        m_lightPath->setAttribute(Qt::WA_DeleteOnClose);
        m_lightPath->setFitter([this](const spectra::Dye& dye, std::optional<double> laser) {
            return spectra::fitInstallation(m_session->database(), m_session->installation(),
                                            m_session->measuredCurves(), dye, laser);
        });
    }
    refreshLightPath();
    m_lightPath->show();
    m_lightPath->raise();
}

LightPathWindow* MainWindow::lightPathWindow() const {
    return m_lightPath;
}

void MainWindow::refreshLightPath() {
    if (!m_lightPath || !m_session->loadComplete())
        return;
    const int mode = m_currentMode;
    const int wheel = m_selectedWheel[size_t(mode)];
    QStringList chosen;
    for (int p = 0; p < wheels::PositionsPerWheel; ++p)
        chosen << m_cmbFilter[firstFrame(mode) + p]->currentText();
    LightPath path = lightPathOfMode(m_session->database(), m_session->installation(), *wheels::modeAt(mode),
                                     wheel, chosen);
    addMeasured(&path, m_session->measuredCurves());
    m_lightPath->setPath(path);
}

void MainWindow::reloadAfterWindow() {
    if (dialogs::endRequested())
        return;
    reloadWheels();
    for (int mode = 0; mode < wheels::ModeCount; ++mode)
        if (m_rbMode[mode]->isChecked()) {
            showWheel(m_selectedWheel[mode]);
            break;
        }
    // The main window is active again; after the reload, so that it redraws from the new lists.
    windowActivated();
}

void MainWindow::windowActivated() {
    m_session->catalogue().applyRemovedFilters();
    const int mode = CatalogueMode();
    if (m_databaseValid && wheels::isMode(mode))
        showWheel(m_selectedWheel[mode]);
}

void MainWindow::switchMode(int mode) {
    if (mode != m_currentMode) {
        m_currentMode = mode;
        for (int i = 0; i < wheels::ModeCount; ++i)
            m_modeFrame[i]->setVisible(i == mode);
        showWheel(m_selectedWheel[mode]);
    }
    delete m_newFilterWindow; // the next opening loads it afresh, for the new mode
    update();
}
