// libFuzzer target for the Access reader: libmdb reads the input in process, as the
// filter-mdb-reader helper does, and its records are written to memory.

#include "apps/filter-mdb-reader/mdb_libmdb.h"

#include <QBuffer>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray records;
    QBuffer buffer(&records);
    buffer.open(QIODevice::WriteOnly);
    QDataStream out(&buffer);
    readAccessWithLibmdb(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), out);
    return 0;
}
