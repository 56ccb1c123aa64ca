// libFuzzer target for one workbook reader: the input is written to a file and read. Built twice:
// fuzz_xlsx opens it as the program does and reads every sheet's first cells; fuzz_xls (no
// FUZZ_XLSX) runs the FreeXL reading of the .xls helper in process.

#ifdef FUZZ_XLSX
#include "core/exchange/workbook.h"
#else
#include "core/exchange/xls_dump.h"
#endif

#include <QFile>
#include <QString>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = QStringLiteral("/tmp/fc-fuzz-%1.bin").arg(getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
#ifdef FUZZ_XLSX
    QString reason;
    auto workbook = openXlsxWorkbook(path, &reason);
    if (!workbook)
        return 0;
    for (int sheet = 1; sheet <= workbook->sheetCount() && sheet <= 8; ++sheet) {
        workbook->sheetName(sheet);
        workbook->hasCells(sheet);
        for (int row = 1; row <= 20; ++row)
            for (int column = 1; column <= 14; ++column)
                workbook->cellText(sheet, row, column);
    }
#else
    readXlsWithFreeXL(path);
#endif
    return 0;
}
