// filterctl's commands and the texts built from their declarations.

#include "cli/registry.h"

#include "cli/commands/commands.h"

#include <QHash>
#include <QRegularExpression>

namespace filterctl {

bool Command::takes(const QString& option) const {
    return std::any_of(options.begin(), options.end(), [&](const Option& o) { return o.name == option; });
}

const std::vector<const Command*>& commands() {
    static const std::vector<const Command*> list{
        &checkCommand(),   &showCommand(),    &diffCommand(), &exportCommand(),    &applyCommand(),
        &plotCommand(),    &historyCommand(), &undoCommand(), &importMdbCommand(), &snapshotCommand(),
        &publishCommand(), &spectraCommand(), &fitCommand(),
    };
    return list;
}

QString optionFlag(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

const Command* findCommand(const QString& name) {
    for (const Command* command : commands())
        if (command->name == name)
            return command;
    return nullptr;
}

namespace {

const char* const ExitStatusHelp =
    "Exit status: 0 done (check: nothing found), 1 check found a problem, apply or undo was refused,\n"
    "2 wrong usage or a file that cannot be used, 3 the database is in use by another program,\n"
    "4 a dry run (apply, undo): the real run would be refused (the database read-only or in use, its\n"
    "history damaged or not writable).\n";

constexpr int HelpWidth = 100;

QString wrapped(const QString& text) {
    QString result;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > HelpWidth) {
            result += line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return result + line + QLatin1Char('\n');
}

QString prefixOf(const Command& command) {
    return command.readsConfiguredDatabase ? QStringLiteral("filterctl [--db FILE] ")
                                           : QStringLiteral("filterctl ");
}

QString flagOf(const Option& option) {
    const QString flag = optionFlag(option.name);
    return option.valueName.isEmpty() ? flag : flag + QLatin1Char(' ') + option.valueName;
}

QString optionLine(const QString& flag, const QString& description) {
    return QStringLiteral("  %1  %2\n").arg(flag.leftJustified(16), description);
}

QString commandHelp(const Command& command) {
    QString text;
    for (const QString& form : command.synopsis)
        text += (text.isEmpty() ? QStringLiteral("Usage: ") : QStringLiteral("       ")) + prefixOf(command) +
                form + QLatin1Char('\n');
    text += QLatin1Char('\n') + wrapped(command.description) + QStringLiteral("\nOptions:\n");
    if (command.readsConfiguredDatabase)
        text += optionLine(QStringLiteral("--db FILE"),
                           QStringLiteral("the database (default: the configured one)"));
    for (const Option& option : command.options)
        text += optionLine(flagOf(option), option.description);
    return text;
}

QString overviewHelp() {
    QString text =
        QStringLiteral("Usage: filterctl [--db FILE] COMMAND ...\n\nFilter Control's service command "
                       "line. Commands (each has its own --help):\n");
    for (const Command* command : commands())
        for (const QString& form : command->synopsis)
            text += QStringLiteral("  %1\n").arg(form);
    text += QStringLiteral("\nOptions:\n") +
            optionLine(QStringLiteral("--db FILE"),
                       QStringLiteral("the database (default: the configured one)")) +
            optionLine(QStringLiteral("--version"), QStringLiteral("the program's version"));
    // The commands' own options, each once, with the commands that take it.
    QStringList flags;
    QHash<QString, QStringList> takenBy;
    for (const Command* command : commands())
        for (const Option& option : command->options) {
            const QString flag = flagOf(option);
            if (!takenBy.contains(flag))
                flags << flag;
            takenBy[flag] << command->name;
        }
    for (const QString& flag : flags)
        text += optionLine(flag, takenBy.value(flag).join(QStringLiteral(", ")));
    return text;
}

// A synopsis word in the manual's fonts: options and literal words bold, placeholders (capitals)
// italic, brackets, bars and ellipses roman.
QString troffWord(const QString& word) {
    if (word == QLatin1String("..."))
        return word;
    QString escaped = word;
    escaped.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    const bool literal = word.startsWith(QLatin1Char('-')) || word.front().isLower();
    return (literal ? QStringLiteral("\\fB") : QStringLiteral("\\fI")) + escaped + QStringLiteral("\\fR");
}

QString troffLine(const QString& text) {
    static const QRegularExpression parts(QStringLiteral("[^\\s\\[\\]|]+|[\\s\\[\\]|]"));
    QString line;
    for (auto it = parts.globalMatch(text); it.hasNext();) {
        const QString part = it.next().captured();
        line += part.size() == 1 && QStringLiteral(" []|").contains(part) ? part : troffWord(part);
    }
    return line;
}

} // namespace

QString helpText(const Command* command) {
    return (command ? commandHelp(*command) : overviewHelp()) +
           optionLine(QStringLiteral("--help"), QStringLiteral("this text")) + QLatin1Char('\n') +
           QString::fromLatin1(ExitStatusHelp);
}

QString manSynopsis() {
    QStringList lines;
    for (const Command* command : commands())
        for (const QString& form : command->synopsis)
            lines << troffLine(prefixOf(*command) + form);
    lines << troffLine(QStringLiteral("filterctl [COMMAND] --help"))
          << troffLine(QStringLiteral("filterctl --version"));
    return lines.join(QStringLiteral("\n.br\n")) + QLatin1Char('\n');
}

} // namespace filterctl
