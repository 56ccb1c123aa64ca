// filterctl: check, show, export and apply configurations without a screen, for service engineers
// who script their work. The parser and the dispatch are built from the registry of commands; each
// command is an adapter over the placement session, as the windows are.

#include "cli/filterctl.h"

#include "cli/context.h"
#include "cli/registry.h"
#include "core/history/history.h"
#include "core/vocabulary/vocabulary.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace filterctl {

namespace {

// Every command's options, each once; the registry's test keeps their value names in agreement.
void addOptions(QCommandLineParser& parser) {
    parser.addOptions({{QStringLiteral("db"), QString(), QStringLiteral("FILE")},
                       {{QStringLiteral("h"), QStringLiteral("help")}, QString()},
                       {QStringLiteral("version"), QString()}});
    QStringList added;
    for (const Command* command : commands())
        for (const Option& option : command->options) {
            if (added.contains(option.name))
                continue;
            added << option.name;
            parser.addOption(QCommandLineOption(option.name, option.description, option.valueName));
        }
}

int runCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QCommandLineParser parser;
    addOptions(parser);
    Context context(parser, {}, out, err);
    if (!parser.parse(arguments))
        return context.fail(Usage, parser.errorText());
    const QString name = parser.positionalArguments().value(0);
    const Command* command = findCommand(name);
    if (parser.isSet(QStringLiteral("help")) && (command || name.isEmpty())) {
        out << helpText(command);
        return Done;
    }
    if (parser.isSet(QStringLiteral("version")) && name.isEmpty()) {
        out << "filterctl " << FC_VERSION << '\n';
        return Done;
    }
    if (!command)
        return context.fail(Usage, name.isEmpty()
                                       ? QStringLiteral("no command; see --help for the commands")
                                       : QStringLiteral("unknown command '%1'; see --help").arg(name));
    for (const QString& option : parser.optionNames())
        if (option != QLatin1String("db") && option != QLatin1String("help") && !command->takes(option))
            return context.fail(Usage, QStringLiteral("%1 is not an option of %2; see filterctl %2 --help")
                                           .arg(optionFlag(option), command->name));
    // An empty name is a script's unset variable: it never stands for a default file.
    for (const QString& option : parser.optionNames())
        if (parser.values(option).contains(QString()))
            return context.fail(Usage, option == QLatin1String("db")
                                           ? QStringLiteral("--db needs a file name")
                                           : optionFlag(option) + QStringLiteral(" needs a value"));
    if (parser.positionalArguments().mid(1).contains(QString()))
        return context.fail(
            Usage, QStringLiteral("%1 takes no empty argument; see filterctl %1 --help").arg(command->name));
    // Every write is recorded; --no-history goes on without when the record cannot be written.
    const bool noHistory = parser.isSet(QStringLiteral("no-history"));
    history::recordEveryWrite(vocabulary::commandLineProgram());
    history::setUnavailableQuestion([noHistory](const QString&, bool) {
        return noHistory ? history::WhenUnavailable::WithoutHistory : history::WhenUnavailable::Refuse;
    });
    Context commandContext(parser, parser.positionalArguments().mid(1), out, err);
    return command->run(commandContext);
}

} // namespace

int run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const int status = runCommand(arguments, out, err);
    out.flush();
    err.flush();
    return status;
}

} // namespace filterctl
