// filterctl diff: what differs between two installations or snapshots.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/inspect/snapshot.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

namespace filterctl {

namespace {

void printDifferences(Context& context, const std::vector<Difference>& differences) {
    if (!context.isSet(QStringLiteral("json"))) {
        for (const Difference& difference : differences)
            context.out() << difference.text() << '\n';
        return;
    }
    QJsonArray list;
    for (const Difference& difference : differences)
        list.append(
            QJsonObject{{QStringLiteral("where"), difference.where},
                        {QStringLiteral("a"), difference.a ? QJsonValue(*difference.a) : QJsonValue()},
                        {QStringLiteral("b"), difference.b ? QJsonValue(*difference.b) : QJsonValue()}});
    context.out() << QJsonDocument(list).toJson();
}

int diff(Context& context) {
    if (context.arguments().size() != 2)
        return context.fail(Usage, QStringLiteral("diff takes two installations or snapshots, A and B"));
    // Both sides begun at once (a snapshot file's head is read while a database loads); their rows
    // are then read side by side, neither held in memory.
    InputSnapshot sides[2] = {InputSnapshot(context.arguments()[0]), InputSnapshot(context.arguments()[1])};
    for (const bool filesFirst : {true, false}) // a file is read on a thread while a database loads
        for (InputSnapshot& side : sides)
            if (side.isSnapshotFile() == filesFirst)
                side.begin(InputSnapshot::CatalogueAhead);
    for (InputSnapshot& side : sides)
        if (!side.finish(context))
            return context.status();
    std::vector<Difference> differences;
    Result error;
    if (!diffSnapshots(sides[0].snapshot, sides[1].snapshot, &differences, &error)) {
        const bool fileFault = error.code == dberr::BadFile;
        return fileFault
                   ? context.fail(Usage, QStringLiteral("a snapshot cannot be read: ") + error.description)
                   : context.failOn(error);
    }
    printDifferences(context, differences);
    return differences.empty() ? Done : Found;
}

} // namespace

InputSnapshot::InputSnapshot(const QString& file) : m_file(file), m_isSnapshotFile(::isSnapshotFile(file)) {}

void InputSnapshot::begin(Rows rows) {
    if (m_isSnapshotFile) {
        m_fileRead = std::async(std::launch::async | std::launch::deferred, [this, rows] {
            Result error;
            if (readSnapshotFile(m_file, &snapshot, &error) && rows == CatalogueAhead)
                readCatalogueAhead(&snapshot);
            return error;
        });
        return;
    }
    session = std::make_unique<PlacementSession>(startup::Variant::Service);
    session->setCandidates(false);
    m_report = Context::openSession(session.get(), m_file);
}

bool InputSnapshot::finish(Context& context) {
    if (m_fileRead.valid()) {
        const Result error = m_fileRead.get();
        if (!error.isError())
            return true;
        context.fail(Usage, QStringLiteral("'%1' cannot be read as a snapshot: %2")
                                .arg(QDir::toNativeSeparators(m_file), error.description));
        return false;
    }
    if (!session->database().isOpen()) {
        context.failOn(m_report.error);
        return false;
    }
    if (!context.requireLoaded(m_report))
        return false;
    Result error;
    if (readSnapshot(*session, &snapshot, &error))
        return true;
    context.failOn(error);
    return false;
}

bool snapshotOf(Context& context, const QString& file, std::unique_ptr<PlacementSession>* session,
                Snapshot* snapshot) {
    InputSnapshot input(file);
    input.begin();
    const bool read = input.finish(context);
    *session = std::move(input.session);
    *snapshot = std::move(input.snapshot);
    return read;
}

const Command& diffCommand() {
    static const Command command{
        QStringLiteral("diff"),
        {QStringLiteral("diff [--json] A B")},
        QStringLiteral(
            "What differs between two installations or snapshots (database files or JSON from 'show "
            "--format json'): positions by wheel and \"Position\", catalogue rows, favourites. Exit 0 "
            "when equal, 1 when they differ."),
        false,
        {{QStringLiteral("json"), QString(), QStringLiteral("the differences as JSON")}},
        diff};
    return command;
}

} // namespace filterctl
