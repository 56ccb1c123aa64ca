#pragma once

// The application layer over one installation: opening its database with the start-up decisions,
// loading it, and every write through a plan. The main window and the configurations window show
// it and forward the user's choices; filterctl adapts it to a command line. No rule lives twice.

#include "core/catalogue/catalogue_service.h"
#include "core/db/database.h"
#include "core/exchange/store.h"
#include "core/placement/installation.h"
#include "core/placement/loader.h"
#include "core/spectra/curve_store.h"
#include "core/startup/startup.h"

#include <functional>
#include <optional>

class PlacementSession {
public:
    // Asked before a write overwrites another program's change; true goes on.
    using Question = std::function<bool(const QString& text)>;
    // The three loads of the start-up: every wheel (service mode, or a MARLIN scan unit), the FCS
    // unit's wheels, and the user's load of the filter-cube turrets.
    enum class Loader { AllWheels, FcsUnit, User };

    explicit PlacementSession(startup::Variant variant);
    PlacementSession(const PlacementSession&) = delete;
    PlacementSession& operator=(const PlacementSession&) = delete;

    startup::Variant variant() const { return m_variant; }
    bool serviceMode() const { return m_variant == startup::Variant::Service; }
    bool marlin() const { return m_marlin; }
    // Readers that never write (filterctl) keep the completed favourite list in memory only.
    void setWriteFavourites(bool write) { m_writeFavourites = write; }
    // Readers that take only the wheels load no candidate lists (see LoadOptions).
    void setCandidates(bool load) { m_candidates = load; }

    Database& database() { return m_db; }
    const Database& database() const { return m_db; }
    const Installation& installation() const { return m_installation; }
    // The board changes with Browse, the candidate lists with the catalogue windows.
    Installation& installation() { return m_installation; }
    // The measured curves kept beside the installation, read again when their file has changed;
    // none when they cannot be read (`measuredProblem` says why).
    const QHash<QString, spectra::Curve>& measuredCurves();
    const QString& measuredProblem() const { return m_measured.problem; }
    // The catalogue windows' edits on this session's connection.
    CatalogueService& catalogue() { return m_catalogue; }
    const CatalogueService& catalogue() const { return m_catalogue; }

    // What the start reads of the system to choose its load: the scan unit, in service mode the FCS
    // unit too.
    std::vector<startup::SystemField> startFields() const;
    // The load the start-up runs for the system; notes a MARLIN scan unit of a user's start.
    Loader startLoader(const startup::SystemRecord& system);
    // The load the service load (and Browse) runs on a file: the FCS unit's for a system with an FCS
    // unit and no scan unit, every wheel otherwise.
    Loader serviceLoader(const startup::SystemRecord& system) const;
    // The fields of the system record a load reads.
    static std::vector<startup::SystemField> loadFields(Loader loader, bool serviceMode);

    struct LoadReport {
        Loader loader = Loader::AllWheels; // the load that ran (or would have)
        bool opened = false;               // the file was opened (and, at the start, its system read)
        Result error; // the file could not be opened or its system read: nothing was loaded
        bool versionAccepted = true;
        QString version;
        startup::SystemRecord system;
        std::optional<LoadResult> result; // the loader's, when it ran
        bool complete() const {
            return !error.isError() && versionAccepted && result &&
                   result->outcome == LoadResult::Outcome::Complete;
        }
    };
    // The existence check, opening, the version check, the system's record, the loader and, for a
    // user's load, the FW1 rule; then whether the file can be written.
    [[nodiscard]] LoadReport load(const QString& path, Loader loader,
                                  Database::Access access = Database::Access::ReadWrite);
    // The whole start of a file, opened once: its system identified, then loaded as the start-up
    // would. An invalid command line opens nothing.
    [[nodiscard]] LoadReport start(const QString& path,
                                   Database::Access access = Database::Access::ReadWrite);
    // The file the session works on: the last one started or loaded (shown as the database path).
    const QString& path() const { return m_path; }
    // Another file is about to be loaded: the emission wheels off and the FCS wheels gone until its
    // load finds them, every mode off.
    void prepareForAnotherFile();
    // Every wheel loaded again from the open database (after the configurations window).
    [[nodiscard]] LoadResult reload();

    // Store writes only what a complete load showed.
    bool loadComplete() const { return m_loadComplete; }
    // Why nothing can be stored (an incomplete load, a read-only file), or the empty text.
    const QString& loadProblem() const { return m_loadProblem; }
    // That opening the file restored it after an interrupted write, or the empty text.
    QString recoveryNote() const;

    // The rows a wheel's positions show, with what each held when last read or written.
    const std::vector<PlacementRow>& shownRows(int wheel) const;

    struct StoreReport {
        bool stored = false;
        QString message; // why nothing was stored, for a message box; empty when declined
        QString note;    // the positions not written, for the status line
    };
    // The main window's Store of one wheel, the frames' chosen filters given position by position.
    [[nodiscard]] StoreReport storeWheel(int wheel, const QStringList& chosen, const Question& ask);

    // A package wheel's plan, for the configurations window's preview and filterctl's.
    [[nodiscard]] bool planPackageWheel(const QString& availableId, const QStringList& filters,
                                        WheelStorePlan* plan, Result* error) const;
    // Executes plans exactly as planned and shown.
    [[nodiscard]] StoreResult storePlans(const std::vector<WheelStorePlan>& plans);

private:
    // The version check, the system's record, the loader and the rules after it, on the open file.
    void loadOpened(Loader loader, LoadReport* report);
    LoadResult runLoader(Loader loader);
    void applyFw1Rule();

    startup::Variant m_variant;
    QString m_path;
    bool m_marlin = false;
    bool m_writeFavourites = true;
    bool m_candidates = true;
    Database m_db;
    Installation m_installation;
    CatalogueService m_catalogue;
    bool m_loadComplete = false;
    QString m_loadProblem;
    struct Measured {
        QHash<QString, spectra::Curve> curves;
        QString stamp; // the file's size and time when read
        QString problem;
    } m_measured;
};

QString notLoadedMessage(const QString& problem);
