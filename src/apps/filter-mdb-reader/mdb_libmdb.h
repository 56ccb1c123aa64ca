#pragma once

// Reads an Access file held in memory with MDB Tools' libmdb and writes its user tables to `out`
// as accessdb::AccessRecord records. Only the reader process calls this.

#include <QByteArray>
#include <QDataStream>

// The longest text or binary value passed on; an installation's longest is a few hundred characters.
constexpr int MaxMdbValueBytes = 1 << 20;

void readAccessWithLibmdb(QByteArray file, QDataStream& out);
