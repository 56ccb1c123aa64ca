#include "core/session/placement_session.h"

#include "core/db/schema.h"
#include "core/history/side_files.h"

#include <QFileInfo>

PlacementSession::PlacementSession(startup::Variant variant)
    : m_variant(variant), m_catalogue(m_db, m_installation.candidates, variant == startup::Variant::Service) {
    m_installation.board = WheelBoard::design();
}

std::vector<startup::SystemField> PlacementSession::startFields() const {
    std::vector<startup::SystemField> fields{startup::SystemField::ScanUnit};
    if (serviceMode())
        fields.push_back(startup::SystemField::FcsUnit);
    return fields;
}

PlacementSession::Loader PlacementSession::startLoader(const startup::SystemRecord& system) {
    if (serviceMode())
        return serviceLoader(system);
    m_marlin = startup::isMarlin(system);
    return m_marlin ? Loader::AllWheels : Loader::User;
}

PlacementSession::Loader PlacementSession::serviceLoader(const startup::SystemRecord& system) const {
    return serviceMode() && startup::needsFcsLoader(system) ? Loader::FcsUnit : Loader::AllWheels;
}

std::vector<startup::SystemField> PlacementSession::loadFields(Loader loader, bool serviceMode) {
    using startup::SystemField;
    switch (loader) {
    case Loader::User:
        return {SystemField::Stand};
    case Loader::FcsUnit: // reads no scan unit
        return {SystemField::Configuration, SystemField::Stand};
    case Loader::AllWheels:
        break;
    }
    std::vector<SystemField> fields{SystemField::Configuration, SystemField::Stand, SystemField::ScanUnit};
    if (serviceMode)
        fields.push_back(SystemField::FcsUnit);
    return fields;
}

PlacementSession::LoadReport PlacementSession::load(const QString& path, Loader loader,
                                                    Database::Access access) {
    m_loadComplete = false;
    m_path = path;
    LoadReport report;
    report.loader = loader;
    if (!startup::checkFileExists(path, &report.error) || !m_db.open(path, &report.error, access))
        return report;
    report.opened = true;
    loadOpened(loader, &report);
    return report;
}

void PlacementSession::loadOpened(Loader loader, LoadReport* report) {
    if (!startup::readVersionText(m_db, &report->version, &report->error))
        return;
    report->versionAccepted = startup::isVersionAccepted(report->version);
    if (report->versionAccepted) {
        if (!startup::readSystem(m_db, loadFields(loader, serviceMode()), &report->system, &report->error))
            return;
        // The service load of a file that needs the FCS unit's loader runs that one.
        if (loader == Loader::AllWheels && serviceMode())
            loader = serviceLoader(report->system);
        report->loader = loader;
        report->result = runLoader(loader);
        if (loader == Loader::User) {
            applyFw1Rule();
            // A user changes only the filter cubes: the other modes are not offered.
            m_installation.board.modeVisible[size_t(wheels::index(wheels::Mode::EmissionFilters))] = false;
            m_installation.board.modeVisible[size_t(wheels::index(wheels::Mode::BeamSplitters))] = false;
        }
    }
    if (m_marlin) // the MARLIN start applies it after the load, whatever the load did
        applyFw1Rule();
}

PlacementSession::LoadReport PlacementSession::start(const QString& path, Database::Access access) {
    m_loadComplete = false;
    m_path = path;
    LoadReport report;
    startup::SystemRecord system;
    if (m_variant == startup::Variant::Invalid || !m_db.open(path, &report.error, access) ||
        !startup::readSystem(m_db, startFields(), &system, &report.error))
        return report;
    report.opened = true;
    report.loader = startLoader(system);
    loadOpened(report.loader, &report);
    return report;
}

void PlacementSession::prepareForAnotherFile() {
    WheelBoard& board = m_installation.board;
    board.modeEnabled.fill(false);
    for (int wheel : wheels::wheelsOfMode(wheels::Mode::EmissionFilters)) {
        if (wheels::button(wheel).kind == wheels::SetKind::FcsEmission)
            board.buttons[wheel].visible = false;
        else
            board.buttons[wheel].enabled = false;
    }
}

LoadResult PlacementSession::reload() {
    return runLoader(Loader::AllWheels);
}

LoadResult PlacementSession::runLoader(Loader loader) {
    const LoadOptions options{serviceMode(), m_marlin, m_writeFavourites, m_candidates};
    const LoadResult result = loader == Loader::FcsUnit ? loadFcsWheels(m_db, options, m_installation)
                                                        : loadAllWheels(m_db, options, m_installation);
    m_loadComplete = result.outcome == LoadResult::Outcome::Complete;
    m_loadProblem.clear();
    if (result.outcome == LoadResult::Outcome::Stopped)
        m_loadProblem =
            QStringLiteral("The installation was not loaded completely, so nothing can be stored: ") +
            result.error.description;
    Result writable;
    if (m_loadComplete && !m_db.checkWritable(schema::table::FilterPlacement, &writable) &&
        writable.code == dberr::ReadOnly)
        m_loadProblem = writable.description;
    return result;
}

void PlacementSession::applyFw1Rule() {
    bool found = false;
    if (!startup::hasUsableFw1Set(m_db, &found, nullptr) || !found)
        return;
    // The first cube button stands for the FW1 wheel; the other cube buttons disappear.
    ButtonState& fw1 = m_installation.board.buttons[wheels::Fw1Wheel];
    fw1.enabled = true;
    fw1.caption = QStringLiteral("FW1");
    for (int wheel : wheels::wheelsOfMode(wheels::Mode::FilterCubes))
        if (wheel != wheels::Fw1Wheel)
            m_installation.board.buttons[wheel].visible = false;
}

QString PlacementSession::recoveryNote() const {
    if (!m_db.recoveredInterruptedWrite())
        return QString();
    return QStringLiteral(
               "An interrupted write had left '%1' incomplete; opening it restored its last complete "
               "state.")
        .arg(m_db.fileName());
}

const std::vector<PlacementRow>& PlacementSession::shownRows(int wheel) const {
    static const std::vector<PlacementRow> none;
    const auto& rows = m_installation.placement.WheelRows;
    return wheel >= 0 && wheel < int(rows.size()) ? rows[size_t(wheel)] : none;
}

QString notLoadedMessage(const QString& problem) {
    return QStringLiteral("Nothing was stored: the installation was not loaded completely.\n\n") + problem;
}

PlacementSession::StoreReport PlacementSession::storeWheel(int wheel, const QStringList& chosen,
                                                           const Question& ask) {
    StoreReport report;
    PlacementState& state = m_installation.placement;
    if (wheel < 0 || wheel >= int(state.WheelFilters.size()) || !state.WheelFilters[size_t(wheel)])
        return report;
    if (!m_loadComplete) {
        report.message = notLoadedMessage(m_loadProblem);
        return report;
    }
    const QString& set = state.WheelAvailableIds.at(wheel);
    WheelStorePlan plan;
    Result error;
    if (!planShownWheelStore(m_db, set, shownRows(wheel), chosen, &plan, &error)) {
        report.message = error.description;
        return report;
    }
    const QString question = plan.changedQuestion();
    if (!question.isEmpty() && !(ask && ask(question)))
        return report;
    const StoreResult result = plan.changes().empty() ? StoreResult() : executeStorePlan(m_db, plan);
    switch (result.outcome) {
    case StoreResult::Outcome::NoRows:
        report.message = noRowsMessage(set);
        return report;
    case StoreResult::Outcome::Failed:
    case StoreResult::Outcome::Refused:
        report.message = result.error.description;
        return report;
    case StoreResult::Outcome::Changed:
        report.message = changedMeanwhileMessage(set);
        return report;
    case StoreResult::Outcome::Stored:
        break;
    }
    state.WheelFilters[size_t(wheel)] = chosen;
    for (const WheelStorePlan::Write& write : plan.writes)
        state.WheelRows[size_t(wheel)][size_t(write.position - 1)].filter = write.chosen;
    report.stored = true;
    report.note = plan.notWrittenNote();
    return report;
}

bool PlacementSession::planPackageWheel(const QString& availableId, const QStringList& filters,
                                        WheelStorePlan* plan, Result* error) const {
    return planPackageWheelStore(m_db, availableId, filters, plan, error);
}

StoreResult PlacementSession::storePlans(const std::vector<WheelStorePlan>& plans) {
    return executeStorePlans(m_db, plans);
}

const QHash<QString, spectra::Curve>& PlacementSession::measuredCurves() {
    const QFileInfo file(history::sidePath(m_db.path(), history::spectraTable()));
    const QString stamp =
        file.exists() ? QStringLiteral("%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch())
                      : QStringLiteral("none");
    if (stamp == m_measured.stamp)
        return m_measured.curves;
    m_measured.stamp = stamp;
    QStringList skipped;
    const Result read = spectra::readMeasured(m_db.path(), &m_measured.curves, &skipped);
    m_measured.problem = read.isError() ? read.description : skipped.join(QLatin1Char(' '));
    if (read.isError())
        m_measured.curves.clear();
    return m_measured.curves;
}
