// filter-xls-reader FILE: reads an .xls workbook with FreeXL and writes its sheet names and
// cells to standard output as a QDataStream. FreeXL runs in this separate process so that a
// hostile file that upsets it cannot take the program down or make it hang.

#include "apps/helper/helper_limits.h"
#include "core/exchange/xls_dump.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char* argv[]) {
    // A well-formed package or data sheet needs a few MiB and well under a second.
    limitHelper(std::uint64_t(1) << 30, 10);
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    QDataStream stream(&out);
    stream << readXlsWithFreeXL(QString::fromLocal8Bit(argv[1]));
    return 0;
}
