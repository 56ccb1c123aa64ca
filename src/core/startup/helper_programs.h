#pragma once

// Where the reader processes for foreign files stand: beside the running program in a build tree,
// in the installation's libexec folder, or in a folder a caller (the tests) names.

#include <QString>

namespace helpers {

inline const QString XlsReader = QStringLiteral("filter-xls-reader");
inline const QString MdbReader = QStringLiteral("filter-mdb-reader");

// A reader's exit status when its memory limit is met.
constexpr int OutOfMemoryStatus = 3;

void setFolder(const QString& folder);
// The folder named, or the empty text for the default places.
QString folder();
QString program(const QString& name);

} // namespace helpers
