#pragma once

// A long history as the history window browses it: each record one line of text in a compact list
// (a million records cost their bytes, not a million allocations of nine texts), newest first,
// searched in place. The newest records are read first, so the window shows them at once, and the
// older ones are read after them, on a thread of the caller's choosing.

#include "core/db/text_list.h"
#include "core/history/history.h"

#include <atomic>

namespace history {

class RecordLines {
public:
    int size() const;
    bool isEmpty() const { return size() == 0; }
    // The record in row `row` (0 the newest) as the window shows it: id, time, who, program, what;
    // without its configuration and rows.
    Record record(int row) const;
    qint64 id(int row) const;
    // The oldest record's id; 0 when there is none.
    qint64 oldestId() const { return isEmpty() ? 0 : id(size() - 1); }
    // Puts records older than all of these after them.
    void appendOlder(RecordLines older);

    // The rows whose number, time, who (user@host), program, summary or undone record's number
    // holds the text, ignoring case; only among the given rows (ascending) when there are any, as a search
    // narrowed by one more key does.
    std::vector<int> find(const QString& text, const std::vector<int>* among = nullptr) const;
    // Whether find would find the record: the one rule of a search, for `filterctl history --text`.
    static bool holds(const Record& record, const QString& text);

private:
    friend class LinesReader;
    // A run of lines as read: the newest first, or in stored (oldest first) order.
    struct Chunk {
        TextList lines;
        bool oldestFirst = false;
    };
    QByteArrayView line(int row) const;
    std::vector<Chunk> m_chunks; // newest chunk first
};

// The newest `count` complete records older than record `before` (0: the newest of all); every
// older one when `count` is 0, read in two halves at once. `stop`, when set, ends the read early
// (the lines read so far are dropped). A missing history has no records.
bool readRecordLines(const QString& historyPath, qint64 before, int count, RecordLines* lines,
                     const std::atomic<bool>* stop, Result* error);

} // namespace history
