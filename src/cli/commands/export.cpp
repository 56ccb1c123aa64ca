// filterctl export: the placement in a form other tools read (Micro-Manager, CSV, JSON, a package
// workbook, OME-XML).

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/db/cursor.h"
#include "core/db/schema.h"
#include "core/exchange/output_file.h"
#include "core/inspect/snapshot.h"

#include <QDir>
#include <QFileDevice>

namespace filterctl {

namespace {

const QStringList Formats{QStringLiteral("mm"), QStringLiteral("csv"), QStringLiteral("json"),
                          QStringLiteral("package"), QStringLiteral("ome")};

// The stand as the installation names it, for the exports that describe the microscope.
QString standOf(PlacementSession& session) {
    Result unread; // the load read this row already; a stand that cannot be read again is left out
    auto system = session.database().openFirstRow(schema::table::AvailableSystems, &unread);
    return system ? system->text(schema::field::IdStand) : QString();
}

// --device ID=NAME, each checked; false (with the error given) for a wrong one.
bool readDevices(Context& context, const QString& replacement, QHash<QString, QString>* devices) {
    for (const QString& rename : context.values(QStringLiteral("device"))) {
        const int equals = rename.indexOf(QLatin1Char('='));
        if (equals <= 0 || equals == rename.size() - 1) {
            context.fail(Usage, QStringLiteral("--device takes ID=NAME, not '%1'").arg(rename));
            return false;
        }
        if (!microManagerName(rename.mid(equals + 1), replacement)) {
            context.fail(Usage, QStringLiteral("--device: Micro-Manager takes no comma or line break "
                                               "in a device name, as in '%1'")
                                    .arg(rename.mid(equals + 1)));
            return false;
        }
        if (devices->contains(rename.left(equals))) {
            context.fail(Usage,
                         QStringLiteral("--device names the wheel '%1' twice").arg(rename.left(equals)));
            return false;
        }
        devices->insert(rename.left(equals), rename.mid(equals + 1));
    }
    return true;
}

// The options alone, before the database is opened.
bool checkOptions(Context& context, const QString& format, const QString& file) {
    if (!context.noArguments(QStringLiteral("export")))
        return false;
    if (!Formats.contains(format)) {
        context.fail(
            Usage,
            format.isEmpty()
                ? QStringLiteral("export needs --format mm, csv, json, package or ome")
                : QStringLiteral("unknown export format '%1' (mm, csv, json, package or ome)").arg(format));
        return false;
    }
    const QString replacement = context.value(QStringLiteral("replace"));
    if (context.isSet(QStringLiteral("replace")) && (format != QLatin1String("mm") || replacement.isEmpty() ||
                                                     !microManagerName(replacement, QString()))) {
        context.fail(
            Usage, QStringLiteral("--replace takes a text without commas or line breaks, with --format mm"));
        return false;
    }
    if (format == QLatin1String("package") && file.isEmpty()) {
        context.fail(Usage, QStringLiteral("export --format package needs -o FILE.xlsx"));
        return false;
    }
    return true;
}

int exportPackage(Context& context, const QString& file, const std::vector<ExportedWheel>& wheels) {
    QStringList leftOut;
    Result error;
    if (!writePackageWorkbook(file, QStringLiteral("Package"), wheels, &leftOut, &error))
        return context.failOn(error);
    if (!leftOut.isEmpty())
        context.warn(QStringLiteral("not in the package layout: ") + leftOut.join(QStringLiteral(", ")));
    return Done;
}

int writeText(Context& context, const QString& file, const QByteArray& text) {
    if (file.isEmpty()) {
        context.out() << QString::fromUtf8(text);
        return Done;
    }
    const Result written = output::writeWhole(file, text);
    return written.ok() ? Done : context.failOn(written);
}

int exportPlacement(Context& context) {
    const QString format = context.value(QStringLiteral("format"));
    const QString file = context.value(QStringLiteral("o"));
    const QString replacement = context.value(QStringLiteral("replace"));
    QHash<QString, QString> devices;
    if (!checkOptions(context, format, file) ||
        (context.isSet(QStringLiteral("o")) && !context.checkOutput(file)) ||
        !readDevices(context, replacement, &devices))
        return context.status();
    PlacementSession session(startup::Variant::Service);
    session.setCandidates(false);
    if (!context.startLoaded(&session, devices.keys(), QStringLiteral("--device")))
        return context.status();
    const std::vector<ExportedWheel> wheels = exportedWheels(session.database(), session.installation());
    if (format == QLatin1String("mm") || format == QLatin1String("package"))
        for (const QString& row : rowsWithoutNumber(wheels))
            context.warn(QStringLiteral("not exported, its \"Position\" is no position 1 to 8 of its own: ") +
                         row);
    if (format == QLatin1String("package"))
        return exportPackage(context, file, wheels);
    if (const QStringList clashes = microManagerDeviceClashes(wheels, devices);
        format == QLatin1String("mm") && !clashes.isEmpty())
        return context.fail(Usage, QStringLiteral("--device: each wheel needs a device of its own, not ") +
                                       clashes.join(QStringLiteral(", ")));
    if (format == QLatin1String("json")) {
        Snapshot snapshot;
        Result error;
        if (!readSnapshot(session, &snapshot, &error))
            return context.failOn(error);
        return writeSnapshot(context, snapshot, file);
    }
    QByteArray text;
    if (format == QLatin1String("ome")) {
        text = omeInstrument(session.database(), standOf(session), wheels);
    } else if (format == QLatin1String("csv")) {
        text = placementCsv(wheels).toUtf8();
    } else {
        QStringList refused;
        text = microManagerLabels(wheels, devices, replacement, &refused).toUtf8();
        if (!refused.isEmpty()) {
            for (const QString& name : refused)
                context.warn(QStringLiteral("Micro-Manager takes no comma or line break in a label: ") +
                             name);
            return context.fail(
                Found, QStringLiteral("nothing was written; --replace TEXT puts TEXT in their place"));
        }
    }
    return writeText(context, file, text);
}

} // namespace

int writeSnapshot(Context& context, const Snapshot& snapshot, const QString& file) {
    Result error;
    if (file.isEmpty()) {
        // The bytes go to the stream's own device where it has one (the standard output): a hundred
        // MB made a text and back took a tenth of a second.
        // A piece that could not be written fails every later one, and the device's own buffer is
        // emptied before the answer: the exit status tells of a snapshot cut short.
        QTextStream& out = context.out();
        out.flush();
        QIODevice* device = out.device();
        bool failed = false;
        bool written = writeSnapshotJson(
            snapshot,
            [&out, device, &failed](const QByteArray& piece) {
                if (device)
                    failed = failed || device->write(piece) != piece.size();
                else
                    out << QString::fromUtf8(piece);
                failed = failed || out.status() != QTextStream::Ok;
                return !failed;
            },
            &error);
        if (auto* file = qobject_cast<QFileDevice*>(device); written && file && !file->flush()) {
            written = false;
            error = Result::make(dberr::BadFile, QStringLiteral("the snapshot could not be written"));
        }
        return written ? Done : context.failOn(error);
    }
    const Result written = writeSnapshotFile(snapshot, file);
    return written.ok() ? Done : context.failOn(written);
}

const Command& exportCommand() {
    static const Command command{
        QStringLiteral("export"),
        {QStringLiteral(
            "export --format mm|csv|json|package|ome [-o FILE] [--device ID=NAME ...] [--replace TEXT]")},
        QStringLiteral(
            "The placement in a form other tools read (json: the canonical snapshot); package needs "
            "-o FILE.xlsx."),
        true,
        {{QStringLiteral("format"), QStringLiteral("FORMAT"),
          QStringLiteral("mm, csv, json, package or ome")},
         {QStringLiteral("o"), QStringLiteral("FILE"),
          QStringLiteral("the file to write (default: standard output)")},
         {QStringLiteral("device"), QStringLiteral("ID=NAME"),
          QStringLiteral("mm: name an installed wheel's device")},
         {QStringLiteral("replace"), QStringLiteral("TEXT"),
          QStringLiteral("mm: put TEXT in place of each comma or line break of a name")}},
        exportPlacement};
    return command;
}

} // namespace filterctl
