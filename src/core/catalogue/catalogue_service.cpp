// The catalogue windows' edits and the lists that follow them; see catalogue_service.h.

#include "core/catalogue/catalogue_service.h"

#include "core/catalogue/catalogue_tables.h"
#include "core/db/schema.h"

CatalogueService::CatalogueService(Database& db, Candidates& candidates, bool serviceMode)
    : m_db(db), m_candidates(candidates), m_serviceMode(serviceMode) {}

void CatalogueService::setScope(int catalogueMode, const wheels::SelectedWheels& selected) {
    m_mode = catalogueMode;
    m_selected = selected;
}

int CatalogueService::wheel() const {
    return wheels::isMode(m_mode) ? m_selected[size_t(m_mode)] : -1;
}

int CatalogueService::subscribe(Listener listener) {
    m_listeners.emplace(m_nextListener, std::move(listener));
    return m_nextListener++;
}

void CatalogueService::unsubscribe(int id) {
    m_listeners.erase(id);
}

void CatalogueService::notify(const Event& event) {
    // A listener may unsubscribe while it is told.
    const std::map<int, Listener> listeners = m_listeners;
    for (const auto& [id, listener] : listeners)
        listener(event);
}

Result CatalogueService::addFavourite(const QString& name, const QString& summary, const QString& type) {
    Result error;
    if (!catalogue::addFavourite(m_db, name, type, &error))
        return error;
    // A user is offered the favourites: the edited wheel's group gains it at once.
    const auto group = wheels::editedGroup(m_mode, wheel());
    if (!m_serviceMode && group)
        candidatesOf(m_candidates, *group).append(name, summary);
    notify({Change::FavouriteAdded, name, summary, type});
    return {};
}

Result CatalogueService::removeFavourite(const QString& name) {
    Result error;
    bool found = false;
    if (!catalogue::deleteFirstNamed(m_db, schema::table::FavouriteFilters, name, &found, &error))
        return error;
    if (!m_serviceMode)
        m_removed << name;
    notify({Change::FavouriteRemoved, name, {}, {}});
    return {};
}

Result CatalogueService::storeNewFilters(const std::vector<catalogue::PendingFilterEntry>& entries) {
    using Entry = catalogue::PendingFilterEntry;
    Result error;
    if (!catalogue::storePendingFilters(m_db, entries, &error))
        return error;
    for (const Entry& entry : entries) {
        // A service engineer is offered the whole catalogue: the new filter joins its groups.
        if (m_serviceMode)
            for (wheels::Group group : catalogue::newFilterGroups(m_mode, wheel()))
                candidatesOf(m_candidates, group).append(entry[Entry::Name], entry[Entry::Summary]);
        notify({Change::FilterStored, entry[Entry::Name], entry[Entry::Summary], entry[Entry::Type]});
    }
    return {};
}

Result CatalogueService::removeCustomerFilter(const QString& name, bool stored) {
    Result error;
    bool placed = false;
    if (!catalogue::isPlaced(m_db, name, &placed, &error))
        return error;
    if (placed)
        return Result::make(dberr::Refused, name + QStringLiteral(" is in 'Available FilterPlacement' !"));
    if (!stored) {
        m_removed << name;
        return {};
    }
    Transaction transaction(m_db, &error);
    bool found = false;
    const bool deleted =
        transaction.isActive() &&
        catalogue::deleteFirstNamed(m_db, schema::table::PotentialFilters, name, &found, &error) &&
        (!m_db.hasTable(schema::table::FavouriteFilters) ||
         catalogue::deleteFirstNamed(m_db, schema::table::FavouriteFilters, name, &found, &error)) &&
        transaction.commit(&error);
    if (!deleted)
        return error;
    m_removed << name;
    notify({Change::FilterRemoved, name, {}, {}});
    return {};
}

void CatalogueService::applyRemovedFilters() {
    const auto group = wheels::editedGroup(m_mode, wheel());
    if (group)
        for (const QString& removed : std::as_const(m_removed))
            candidatesOf(m_candidates, *group).removeFirst(removed);
    m_removed.clear();
}
