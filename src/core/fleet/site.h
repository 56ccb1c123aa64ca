#pragma once

// The facility's page: a static site made from installations' snapshots, an index of the
// microscopes and a page for each, with every wheel's positions. Plain files that any web server or
// file:// serves, nothing loaded from elsewhere, every text from a database escaped (the pages are
// written through Qt's XML writer, never pieced together as strings).

#include "core/db/result.h"
#include "core/inspect/snapshot.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace fleet {

struct SitePage {
    Snapshot::Identity identity;
    QString file; // the page's name in the site, "Lab_2-Inverted_Stand-LSM_5.html"
};

// Writes index.html and a page per snapshot into `folder` (made when missing), each whole or not at
// all; the pages written, in the index's order.
[[nodiscard]] Result publishSite(const std::vector<Snapshot>& snapshots, const QString& folder,
                                 std::vector<SitePage>* pages);

} // namespace fleet
