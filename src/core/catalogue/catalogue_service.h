#pragma once

// The catalogue windows' edits, made on the session's connection: favourites added and removed,
// new filters stored, customer filters removed. The rules of which candidate lists follow (a
// favourite joins the user's lists, a new filter the service engineer's, a withdrawn name leaves the
// edited wheel's group when the main window is active again) live here; the windows subscribe and
// hear what changed, so every list shown follows without one window reaching into another.

#include "core/catalogue/new_filter.h"
#include "core/db/database.h"
#include "core/placement/placement_state.h"
#include "core/spectra/curve_store.h"

#include <QStringList>
#include <functional>
#include <map>

class CatalogueService {
public:
    enum class Change { FilterStored, FilterRemoved, FavouriteAdded, FavouriteRemoved };
    struct Event {
        Change change;
        QString name;
        QString summary;
        QString type;
    };
    using Listener = std::function<void(const Event&)>;

    CatalogueService(Database& db, Candidates& candidates, bool serviceMode);

    Database& database() { return m_db; }
    const Database& database() const { return m_db; }
    bool serviceMode() const { return m_serviceMode; }

    // The mode whose filters the windows edit, and the wheels chosen in the main window.
    void setScope(int catalogueMode, const wheels::SelectedWheels& selected);
    int catalogueMode() const { return m_mode; }
    const wheels::SelectedWheels& selectedWheels() const { return m_selected; }
    // The wheel last chosen in the catalogue mode, or -1 outside the three modes.
    int wheel() const;

    int subscribe(Listener listener);
    void unsubscribe(int id);

    [[nodiscard]] Result addFavourite(const QString& name, const QString& summary, const QString& type);
    [[nodiscard]] Result removeFavourite(const QString& name);
    [[nodiscard]] Result storeNewFilters(const std::vector<catalogue::PendingFilterEntry>& entries);
    // A customer filter withdrawn: refused (Refused, with the message the window shows) while it is
    // placed; a stored one leaves the catalogue and the favourites in one write, one entered in this
    // run and not stored yet has nothing to delete. Either way the lists that offered it follow.
    [[nodiscard]] Result removeCustomerFilter(const QString& name, bool stored);
    // A catalogue filter's measured curve stored or replaced beside the installation.
    [[nodiscard]] Result storeSpectrum(const spectra::StoredCurve& curve, spectra::Stored* outcome) {
        return spectra::storeCurve(m_db, curve, outcome);
    }
    // A withdrawn filter entered again is no longer reported as withdrawn.
    void filterEnteredAgain(const QString& name) { m_removed.removeOne(name); }

    // The names withdrawn since the main window was last active, in order.
    const QStringList& removedFilters() const { return m_removed; }
    // The main window is active again: the withdrawn names leave the candidate group of the wheel
    // last chosen in the edited mode (the first entry of each), and the list is emptied.
    void applyRemovedFilters();

private:
    void notify(const Event& event);

    Database& m_db;
    Candidates& m_candidates;
    bool m_serviceMode;
    int m_mode = 0;
    wheels::SelectedWheels m_selected = wheels::firstWheels();
    QStringList m_removed;
    std::map<int, Listener> m_listeners;
    int m_nextListener = 1;
};
