#pragma once

// Every filterctl verb, one file each; the registry lists them.

#include "cli/command.h"
#include "core/inspect/snapshot.h"
#include "core/session/placement_session.h"

#include <future>
#include <memory>

class QJsonArray;

namespace filterctl {

const Command& checkCommand();
const Command& showCommand();
const Command& diffCommand();
const Command& exportCommand();
const Command& applyCommand();
const Command& plotCommand();
const Command& historyCommand();
const Command& undoCommand();
const Command& importMdbCommand();
const Command& snapshotCommand();
const Command& publishCommand();
const Command& fitCommand();
const Command& spectraCommand();

// One installation's findings (the --db one when `file` is empty); with `summary`, counted into it
// (and into `json`) instead of printed. import-mdb checks what it wrote with it.
int checkOne(Context& context, const QString& file, QJsonArray* json, QString* summary);

// An installation's snapshot as diff and publish read their inputs: a database's (started read-only,
// kept open in `session` while its rows are read) or a snapshot file's, read on a thread of its own
// from begin(). finish() says what failed: inputs begun together and finished in turn say it in
// their order, as if each had been read in turn.
class InputSnapshot {
public:
    explicit InputSnapshot(const QString& file);
    InputSnapshot(const InputSnapshot&) = delete; // a file's read writes into this one
    InputSnapshot& operator=(const InputSnapshot&) = delete;
    bool isSnapshotFile() const { return m_isSnapshotFile; }
    // With CatalogueAhead, a file's catalogue rows are read ahead from the start (see
    // readCatalogueAhead): for a reader that reads them all.
    enum Rows { WhenRead, CatalogueAhead };
    void begin(Rows rows = WhenRead);
    bool finish(Context& context);
    Snapshot snapshot;
    std::unique_ptr<PlacementSession> session;

private:
    QString m_file;
    bool m_isSnapshotFile;
    std::future<Result> m_fileRead;
    PlacementSession::LoadReport m_report;
};
bool snapshotOf(Context& context, const QString& file, std::unique_ptr<PlacementSession>* session,
                Snapshot* snapshot);
// The snapshot's JSON as it is made (its wheels from `snapshot`, its catalogue from the database),
// onto standard output or (whole or not at all) into `file`. show and export write it.
int writeSnapshot(Context& context, const Snapshot& snapshot, const QString& file);

} // namespace filterctl
