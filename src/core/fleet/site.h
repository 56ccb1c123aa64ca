#pragma once

// The facility's page: a static site made from installations' snapshots, an index of the
// microscopes with a search across the fleet, and a page for each with every wheel's positions, the
// light path drawn and the recent changes. Plain files that any web server or file:// serves,
// nothing loaded from elsewhere, readable without JavaScript (the search alone needs it), every text
// from a database escaped: the pages are written through Qt's XML writer and the search's data
// through its JSON writer, never pieced together as strings.

#include "core/db/result.h"
#include "core/inspect/light_path.h"
#include "core/inspect/snapshot.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace fleet {

struct Change {
    QString at; // ISO 8601
    QString who;
    QString what;
};

struct Microscope {
    Snapshot snapshot;                       // the identity and the wheels; its rows are not read again
    QHash<QString, QStringList> filters;     // each placed filter's values, as lightPathFields() names them
    std::vector<Change> changes;             // the newest first, where a history or a git log is at hand
    QHash<QString, spectra::Curve> measured; // filters' measured curves, where the input is an installation
};

// The microscope a snapshot shows: its placed filters' values read from the catalogue the snapshot's
// rows stand for, after which the snapshot no longer reads them.
bool readMicroscope(Snapshot snapshot, Microscope* microscope, Result* error);

// The newest changes of an installation, from its history, or of a snapshot file in a git working
// copy, from its log; none when neither is at hand.
std::vector<Change> recentChanges(const QString& input, bool installation, int count);

struct SitePage {
    Snapshot::Identity identity;
    QString file; // the page's name in the site, "Lab_2-Inverted_Stand-LSM_5.html"
};

// An SVG document of a light path, or nothing where no drawing can be made.
using Drawing = std::function<QByteArray(const LightPath&)>;

// Writes index.html, the search's scripts and a page per microscope into `folder` (made when
// missing), each file whole or not at all; the pages written, in the index's order.
[[nodiscard]] Result publishSite(const std::vector<Microscope>& microscopes, const QString& folder,
                                 const Drawing& draw, std::vector<SitePage>* pages);

} // namespace fleet
