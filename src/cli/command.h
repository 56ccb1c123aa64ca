#pragma once

// One filterctl verb, declared once: the parser, the top-level and per-command help, the dispatch
// and the manual page's synopsis are all built from these declarations (see registry.h).

#include <QStringList>
#include <vector>

namespace filterctl {

class Context;

struct Option {
    QString name;        // "json", or "o" for -o
    QString valueName;   // "FILE"; empty for a switch
    QString description; // what it does for this command
};

struct Command {
    QString name;
    // Each form of the call after "filterctl [--db FILE] "; the first word is the name.
    QStringList synopsis;
    QString description;
    bool readsConfiguredDatabase = true; // --db names the installation it works on
    std::vector<Option> options;         // besides --db and --help
    int (*run)(Context& context) = nullptr;

    bool takes(const QString& option) const;
};

} // namespace filterctl
