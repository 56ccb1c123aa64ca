#pragma once

// The measured transmission curves of catalogue filters, kept beside the installation in a file of
// their own (System_Configurations.spectra.sqlite), keyed by "ID Potential". Every change is a
// write of the installation's connection, so the history records it and undo puts it back.

#include "core/spectra/curve.h"

#include <QHash>
#include <vector>

class Database;

namespace spectra {

struct StoredCurve {
    QString filter;
    Curve curve;
    QString source;   // the file it was imported from
    QString column;   // the column chosen, if any
    QString imported; // when, ISO 8601 in UTC
};

// Every stored curve by filter name; none when the installation has no file of them. A stored
// curve is read with the checks of an import: one that fails them is passed over, and `skipped`
// says why, naming the filter.
[[nodiscard]] Result readStored(const QString& installationPath, std::vector<StoredCurve>* curves,
                                QStringList* skipped = nullptr);
[[nodiscard]] Result readMeasured(const QString& installationPath, QHash<QString, Curve>* curves,
                                  QStringList* skipped = nullptr);

// Stores a catalogue filter's curve on the installation's writable connection, replacing the one
// it had; the same curve from the same file again writes nothing. Refused for a filter the
// catalogue lacks.
enum class Stored { Added, Replaced, Unchanged };
[[nodiscard]] Result storeCurve(Database& installation, const StoredCurve& stored, Stored* outcome);
// Takes a filter's curve away; refused when it has none.
[[nodiscard]] Result removeCurve(Database& installation, const QString& filter);

} // namespace spectra
