// filter-xls-reader: reads the .xls workbook open on its standard input with FreeXL and writes its
// sheet names and cells to standard output as a QDataStream. FreeXL runs in this separate,
// sandboxed process so that a hostile file that upsets it cannot take the program down, make it
// hang, or do anything but hand back cells.

#include "apps/helper/helper_limits.h"
#include "apps/helper/helper_sandbox.h"
#include "core/exchange/xls_dump.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    limitHelper(std::uint64_t(XlsReaderMemory), XlsReaderSeconds);
    QCoreApplication app(argc, argv);
    if (argc != 1)
        return 2;
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    // FreeXL opens files by name: the input again, through its descriptor. It loads the character
    // set converters a workbook's code page needs.
    const SandboxOutcome sandbox = enterSandbox(STDIN_FILENO, characterSetFolder());
    if (!sandbox.refused.empty())
        std::fprintf(stderr, "filter-xls-reader: %srunning with the rest\n", sandbox.refused.c_str());
    QDataStream stream(&out);
    stream << readXlsWithFreeXL(QStringLiteral("/proc/self/fd/0"));
    return 0;
}
