#pragma once

#include "core/db/database.h"
#include "core/db/db_error.h"
#include "core/placement/installation.h"
#include "core/placement/loader.h"
#include "core/startup/startup.h"
#include "gui/catalogue/catalogue_context.h"

#include <QPointer>
#include <QWidget>
#include <array>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TextListModel;

// The main window: start-up, the three mode frames with their wheel buttons and position frames,
// and closing. Start-up decisions and the database work live outside in startup.h and db/.
class FilterControlForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int WheelCount = 18;
    static constexpr int FrameCount = 24;
    static constexpr int ModeCount = wheels::ModeCount;
    // Position p of the wheel shown in a mode is in frame firstFrame(mode) + p.
    static constexpr int firstFrame(int mode) { return wheels::PositionsPerWheel * mode; }

    explicit FilterControlForm(QWidget* parent = nullptr);
    ~FilterControlForm() override;

    // The whole start-up for the given command line (the single-instance check is main()'s).
    void load(const QString& commandLine);

    void LoadSystem();
    void LoadFCSSystem();
    void User();
    void InitAllFilters();
    void InitFCSFilters();

    // Shows wheel button w's positions in its mode's row (also used to redisplay a mode's wheel).
    void showWheel(int wheel);
    void storeClicked(int mode);
    void editClicked(int mode);
    // Applies packages from a configuration workbook, then reloads every wheel.
    void excelFileClicked();
    // Brings the candidate lists up to date after a catalogue window; runs once after start-up too.
    void windowActivated();
    void switchMode(int mode);
    void closeProgram();
    void bringToFront();

    Database& configDb() { return m_configDb; }
    const QString& CommandLine() const { return m_commandLine; }
    bool DatabaseValid() const { return m_databaseValid; }
    bool loadComplete() const { return m_loadComplete; }
    // Whether position frame f holds a filter that is not stored yet.
    bool isMarkedUnstored(int frame) const;
    bool MarlinScanUnit() const { return m_marlinScanUnit; }
    int CurrentMode() const { return m_currentMode; }
    int SelectedWheel(int mode) const { return m_selectedWheel.at(mode); }
    const Installation& installation() const { return m_installation; }
    const PlacementState& placement() const { return m_installation.placement; }
    Candidates& candidates() { return m_installation.candidates; }
    int CatalogueMode() const { return m_catalogueMode; }
    QStringList& RemovedFilters() { return m_removedFilters; }
    // What the catalogue windows work on: the edited mode, the chosen wheels, the shared lists.
    CatalogueContext catalogueContext();
    // The program's one new-filter window, loaded on first use and unloaded by a mode switch.
    NewFilters* newFiltersWindow();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    QGroupBox* buildModeFrame(int mode);
    QWidget* buildPositionFrame(int frame);
    void browseClicked();

    enum class Loader { All, Fcs };
    // Opens the file the Database label names, checks its version and reads the system record.
    bool openSystem(const QString& versionBoxTitle, const std::vector<startup::SystemField>& fields,
                    startup::SystemRecord* system, bool* accepted, DbError* error);
    // The trapped part of LoadSystem / LoadFCSSystem.
    bool runServiceLoad(Loader loader, DbError* error);
    void reportLoadError(const DbError& error);
    bool runUserLoad(DbError* error);
    bool checkVersion(const QString& boxTitle, bool* accepted, DbError* error);
    void reportStartFailure(bool serviceMode, const DbError& error);
    void applyFw1Rule();
    void setDesignSize();
    using LoadFunction = LoadResult (*)(Database&, const LoadOptions&, Installation&);
    void runLoader(LoadFunction load);
    // Shows the installation's board on the wheel and mode buttons.
    void showBoard();
    void endOnFatalData(const QString& message);
    QStringList wheelFiltersOf(int wheel) const;

    void showGroupInRow(int mode, wheels::Group group);
    void mirrorSelection(QComboBox* from, QComboBox* to);
    // Marks the positions of a mode's row whose chosen filter differs from the stored one.
    void markUnstored(int mode);
    void storeWheel(int wheel, const QStringList& texts);
    // The line above the wheels: why the load is incomplete or nothing can be stored, and what the
    // last store left out. Hidden when there is nothing to say.
    void updateStatusLine();

    Database m_configDb;
    QString m_commandLine;
    wheels::SelectedWheels m_selectedWheel = wheels::firstWheels();
    int m_currentMode = 0;
    bool m_databaseValid = false;
    bool m_marlinScanUnit = false;
    int m_catalogueMode = 0;
    QStringList m_removedFilters;
    bool m_loadComplete = false; // Store writes only a wheel whose load completed
    QString m_loadProblem;
    QString m_storeNote;
    Installation m_installation; // the loaders' results; the wheel and mode buttons show its board
    std::array<TextListModel*, wheels::GroupCount> m_idModels{};
    std::array<TextListModel*, wheels::GroupCount> m_codeModels{};
    QPointer<NewFilters> m_newFilters;

    QLabel* m_database = nullptr;
    QLabel* m_stativ = nullptr;
    QLabel* m_statusLine = nullptr;
    std::array<QLabel*, 2> m_config{};
    QPushButton* m_browse = nullptr;
    QPushButton* m_cmdFile = nullptr;
    QPushButton* m_cmdClose = nullptr;
    std::array<QRadioButton*, ModeCount> m_rbMode{};
    std::array<QGroupBox*, ModeCount> m_modeFrame{};
    std::array<QPushButton*, ModeCount> m_cmdStore{};
    std::array<QPushButton*, ModeCount> m_cmdEdit{};
    std::array<QPushButton*, WheelCount> m_cmdNr{};
    std::array<QFrame*, FrameCount> m_frmObjective{};
    std::array<QLabel*, FrameCount> m_lbPosition{};
    std::array<QComboBox*, FrameCount> m_cmbFilter{};
    std::array<QComboBox*, FrameCount> m_cmbIdPotential{};
    std::array<QLabel*, FrameCount> m_changeMark{};
};
