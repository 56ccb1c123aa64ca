// filter-mdb-reader: reads the Access database file open on its standard input with MDB Tools and
// writes its tables to standard output as accessdb::AccessRecord records. libmdb is written for
// well-formed files; in this separate, sandboxed process a damaged one cannot take the program
// down or do anything but hand back tables.

#include "apps/filter-mdb-reader/mdb_libmdb.h"
#include "apps/helper/helper_limits.h"
#include "apps/helper/helper_sandbox.h"
#include "core/access/mdb_stream.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    limitHelper(std::uint64_t(accessdb::readerMemoryLimit(accessdb::MaxAccessFileBytes)), 60);
    QCoreApplication app(argc, argv);
    QFile in;
    QFile out;
    if (argc != 1 || !in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 2;
    QDataStream stream(&out);
    QByteArray file;
    while (file.size() <= accessdb::MaxAccessFileBytes && !in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty())
            break;
        file += chunk;
    }
    if (file.size() > accessdb::MaxAccessFileBytes) {
        accessdb::AccessRecord tooLarge;
        tooLarge.text = QStringLiteral("it is larger than the %1 MiB the Access reader takes")
                            .arg(accessdb::MaxAccessFileBytes >> 20);
        stream << tooLarge;
        return 0;
    }
    lowerAddressSpace(std::uint64_t(accessdb::readerMemoryLimit(file.size())));
    // libmdb reads the copy in memory; it loads the character set converters of the file's texts.
    const SandboxOutcome sandbox = enterSandbox(STDIN_FILENO, characterSetFolder());
    if (!sandbox.refused.empty())
        std::fprintf(stderr, "filter-mdb-reader: %srunning with the rest\n", sandbox.refused.c_str());
    readAccessWithLibmdb(file, stream);
    return 0;
}
