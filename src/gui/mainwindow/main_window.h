#pragma once

#include "core/session/placement_session.h"
#include "gui/catalogue/catalogue_context.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

class EarlyStart;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TextListModel;
class LightPathWindow;

// The main window: start-up, the three mode frames with their wheel buttons and position frames,
// and closing. It shows a placement session and forwards the user's choices to it.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Position p of the wheel shown in a mode is in frame firstFrame(mode) + p.
    static constexpr int firstFrame(int mode) { return wheels::PositionsPerWheel * mode; }
    static constexpr int modeIndex(wheels::Mode mode) { return wheels::index(mode); }

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The whole start-up for the given command line (the single-instance check is main()'s).
    void load(const QString& commandLine);
    // The next start takes the session this one began while the window was built, when it is the
    // start it would run.
    void takeEarlyStart(EarlyStart* early) { m_earlyStart = early; }

    // Every wheel loaded again from the open file (after the configurations window).
    void reloadWheels();

    // Shows wheel button w's positions in its mode's row (also used to redisplay a mode's wheel).
    void showWheel(int wheel);
    void storeClicked(int mode);
    void editClicked(int mode);
    // Applies packages from a configuration workbook, then reloads every wheel.
    void excelFileClicked();
    // Shows the history of changes; after an undo, reloads every wheel.
    void historyClicked();
    // Opens the light-path window, which follows the shown mode and its choices from then on.
    void lightPathClicked();
    LightPathWindow* lightPathWindow() const;
    // Brings the candidate lists up to date after a catalogue window; runs once after start-up too.
    void windowActivated();
    void switchMode(int mode);
    void closeProgram();
    void bringToFront();

    PlacementSession& session() { return *m_session; }
    Database& configDb() { return m_session->database(); }
    const QString& CommandLine() const { return m_commandLine; }
    bool DatabaseValid() const { return m_databaseValid; }
    bool loadComplete() const { return m_session->loadComplete(); }
    // Whether position frame f holds a filter that is not stored yet.
    bool isMarkedUnstored(int frame) const;
    bool MarlinScanUnit() const { return m_session->marlin(); }
    int CurrentMode() const { return m_currentMode; }
    int SelectedWheel(int mode) const { return m_selectedWheel.at(size_t(mode)); }
    const Installation& installation() const { return m_session->installation(); }
    const PlacementState& placement() const { return m_session->installation().placement; }
    Candidates& candidates() { return m_session->installation().candidates; }
    int CatalogueMode() const { return m_session->catalogue().catalogueMode(); }
    // What the catalogue windows work on: the edited mode, the chosen wheels, the shared lists.
    CatalogueContext catalogueContext();
    // The program's one new-filter window, loaded on first use and unloaded by a mode switch.
    NewFilterWindow* newFiltersWindow();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    QGroupBox* buildModeFrame(int mode);
    QWidget* buildPositionFrame(int frame);
    void browseClicked();

    // What a service load (or a MARLIN user's) found: the system, the wheels, or why not.
    void showServiceLoad(const PlacementSession::LoadReport& report);
    // What the user's load of the filter-cube turrets found, or why the program ends.
    void showUserLoad(const PlacementSession::LoadReport& report);
    // Shows a refused version's message; false when nothing was loaded.
    bool showVersionVerdict(const PlacementSession::LoadReport& report, const QString& boxTitle);
    void reportLoadError(const Result& error);
    // Starts the session on the file, as the command line says, and shows what it found.
    void startOn(const QString& path);
    void reportStartFailure(bool serviceMode, const Result& error);
    void setDesignSize();
    // The board, the status line, and then the first mode's wheel, or the fatal message and the end.
    void showLoadResult(const LoadResult& result);
    // Shows the installation's board on the wheel and mode buttons.
    void showBoard();
    void endOnFatalData(const QString& message);
    QStringList wheelFiltersOf(int wheel) const;

    void showGroupInRow(int mode, wheels::Group group);
    void mirrorSelection(QComboBox* from, QComboBox* to);
    // Marks the positions of a mode's row whose chosen filter differs from what its row holds.
    void markUnstored(int mode);
    // The line above the wheels: why the load is incomplete or nothing can be stored, and what the
    // last store left out. Hidden when there is nothing to say.
    void updateStatusLine();
    // After a window that may have written placements: every wheel again, the selected mode's shown.
    void reloadAfterWindow();
    // The light-path window, when open, shows the current mode's wheels and the choices in its row.
    void refreshLightPath();

    std::unique_ptr<PlacementSession> m_session;
    EarlyStart* m_earlyStart = nullptr;
    QString m_commandLine;
    wheels::SelectedWheels m_selectedWheel = wheels::firstWheels();
    int m_currentMode = 0;
    bool m_databaseValid = false;
    QString m_storeNote;
    std::array<TextListModel*, wheels::GroupCount> m_idModels{};
    std::array<TextListModel*, wheels::GroupCount> m_codeModels{};
    QPointer<NewFilterWindow> m_newFilterWindow;

    QLabel* m_database = nullptr;
    QLabel* m_stand = nullptr;
    QLabel* m_statusLine = nullptr;
    std::array<QLabel*, 2> m_config{};
    QPushButton* m_browse = nullptr;
    QPushButton* m_cmdFile = nullptr;
    QPushButton* m_cmdHistory = nullptr;
    QPushButton* m_cmdLightPath = nullptr;
    QPointer<LightPathWindow> m_lightPath;
    QPushButton* m_cmdClose = nullptr;
    std::array<QRadioButton*, wheels::ModeCount> m_rbMode{};
    std::array<QGroupBox*, wheels::ModeCount> m_modeFrame{};
    std::array<QPushButton*, wheels::ModeCount> m_cmdStore{};
    std::array<QPushButton*, wheels::ModeCount> m_cmdEdit{};
    std::array<QPushButton*, wheels::ButtonCount> m_cmdNr{};
    std::array<QFrame*, wheels::FrameCount> m_frmObjective{};
    std::array<QLabel*, wheels::FrameCount> m_lbPosition{};
    std::array<QComboBox*, wheels::FrameCount> m_cmbFilter{};
    std::array<QComboBox*, wheels::FrameCount> m_cmbIdPotential{};
    std::array<QLabel*, wheels::FrameCount> m_changeMark{};
};
