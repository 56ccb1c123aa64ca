// filterctl spectra: the measured transmission curves of catalogue filters, kept beside the installation.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/spectra/curve_store.h"

#include <QDir>

namespace filterctl {

namespace {

QString sourceText(const spectra::StoredCurve& stored) {
    QString text = QStringLiteral("from '%1'").arg(stored.source);
    if (!stored.column.isEmpty())
        text += QStringLiteral(", column '%1'").arg(stored.column);
    return text;
}

bool openForWriting(Context& context, Database* db) {
    QString path;
    if (!context.databasePath(&path))
        return false;
    Result error;
    if (!db->open(path, &error, Database::Access::ReadWrite))
        return context.failOn(error), false;
    return true;
}

int importCurve(Context& context, const QStringList& arguments) {
    if (arguments.size() != 3)
        return context.fail(Usage, QStringLiteral("spectra import takes a filter name and a file"));
    spectra::Table table;
    spectra::StoredCurve stored{arguments[1],
                                {},
                                QDir::toNativeSeparators(arguments[2]),
                                context.value(QStringLiteral("column")),
                                {}};
    Result error = spectra::readTable(arguments[2], &table);
    if (!error.isError())
        error = spectra::transmissionOf(table, stored.column, &stored.curve);
    if (error.isError())
        return context.fail(Usage, error.description + QStringLiteral(" Nothing was stored."));
    Database db;
    if (!openForWriting(context, &db))
        return context.status();
    spectra::Stored outcome = spectra::Stored::Added;
    if (Result store = spectra::storeCurve(db, stored, &outcome); store.isError())
        return context.failOn(store);
    const QString done = outcome == spectra::Stored::Added      ? QStringLiteral("stored")
                         : outcome == spectra::Stored::Replaced ? QStringLiteral("replaced")
                                                                : QStringLiteral("unchanged:");
    context.out() << QStringLiteral("%1 the measured spectrum of '%2': %3, %4\n")
                         .arg(done, stored.filter, stored.curve.describe(), sourceText(stored));
    return Done;
}

int listCurves(Context& context) {
    QString path;
    if (!context.databasePath(&path))
        return context.status();
    std::vector<spectra::StoredCurve> curves;
    QStringList skipped;
    if (Result read = spectra::readStored(path, &curves, &skipped); read.isError())
        return context.failOn(read);
    for (const QString& line : skipped)
        context.warn(line);
    if (curves.empty())
        context.out() << "no measured spectra\n";
    for (const spectra::StoredCurve& stored : curves)
        context.out() << QStringLiteral("%1  %2, %3, %4\n")
                             .arg(stored.filter, stored.curve.describe(), sourceText(stored),
                                  stored.imported);
    return Done;
}

int removeCurve(Context& context, const QStringList& arguments) {
    if (arguments.size() != 2)
        return context.fail(Usage, QStringLiteral("spectra remove takes a filter name"));
    Database db;
    if (!openForWriting(context, &db))
        return context.status();
    if (Result removed = spectra::removeCurve(db, arguments[1]); removed.isError())
        return context.failOn(removed);
    context.out() << QStringLiteral("removed the measured spectrum of '%1'\n").arg(arguments[1]);
    return Done;
}

int manageSpectra(Context& context) {
    const QStringList& arguments = context.arguments();
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("import"))
        return importCurve(context, arguments);
    if (verb == QLatin1String("list") && arguments.size() == 1)
        return listCurves(context);
    if (verb == QLatin1String("remove"))
        return removeCurve(context, arguments);
    return context.fail(Usage, QStringLiteral("spectra takes import FILTER FILE, list, or remove FILTER"));
}

} // namespace

const Command& spectraCommand() {
    static const Command command{
        QStringLiteral("spectra"),
        {QStringLiteral("spectra import FILTER FILE [--column NAME]"), QStringLiteral("spectra list"),
         QStringLiteral("spectra remove FILTER")},
        QStringLiteral(
            "Imports a catalogue filter's measured transmission curve from a filter maker's text file, "
            "lists the curves stored beside the installation, or removes one; each change is a record "
            "of the history, undone by undo."),
        true,
        {{QStringLiteral("column"), QStringLiteral("NAME"),
          QStringLiteral("the column of a file with several value columns")}},
        manageSpectra};
    return command;
}

} // namespace filterctl
