#pragma once

// A list of texts for catalogue-sized lists (a million filter names): the texts stand one after
// another in one UTF-8 block, so a list costs its bytes plus four a row instead of an allocation
// a row, and the table reads fill it straight from the engine's bytes. A text is made only when
// one is asked for. Copies share the block until one of them changes.

#include <QByteArray>
#include <QHash>
#include <QSharedDataPointer>
#include <QStringList>
#include <vector>

class TextList {
public:
    TextList();
    TextList(std::initializer_list<QString> texts);
    TextList(const TextList&);
    TextList& operator=(const TextList&);
    ~TextList();
    void swap(TextList& other) noexcept { d.swap(other.d); }

    int size() const;
    bool isEmpty() const { return size() == 0; }
    QString at(int row) const;
    QString value(int row) const; // the empty text beyond the list
    QString last() const { return at(size() - 1); }
    QByteArrayView utf8At(int row) const;

    void append(const QString& text);
    void appendUtf8(QByteArrayView utf8);
    void appendList(const TextList& other);
    TextList& operator<<(const QString& text) {
        append(text);
        return *this;
    }
    void removeAt(int row);
    void clear();

    int indexOf(const QString& text, int from = 0) const;
    bool contains(const QString& text) const { return indexOf(text) >= 0; }
    // The first row of each wanted text, in one walk that stops once all are found.
    QHash<QString, int> firstRows(const QStringList& wanted) const;
    QStringList toStringList() const;
    bool operator==(const TextList& other) const;

    // Tells which rows contain a text, ignoring case: an ASCII text is compared byte by byte, where
    // only ASCII letters fold (a row's Kelvin sign is not its k, as it is to QString), anything else
    // through QString.
    class Finder {
    public:
        Finder(const TextList& list, const QString& text);
        bool matches(int row) const;
        // The same for a text outside the list.
        bool contains(QByteArrayView utf8) const;
        // Every row that contains the text, ascending, in one pass over the list's bytes.
        std::vector<int> allRows() const;

    private:
        const TextList& m_list;
        QString m_text;
        QByteArray m_lowerUtf8;
        bool m_bytewise;
    };

private:
    struct Data;
    QSharedDataPointer<Data> d;
};

// Texts kept once each, found by their bytes: the texts are a TextList, the table holds entry
// numbers beside their hashes, so looking up an absent text seldom touches a text at all.
class TextIndex {
public:
    int size() const { return m_texts.size(); }
    const TextList& texts() const { return m_texts; }
    int find(QByteArrayView utf8) const; // the entry, or -1
    int insert(QByteArrayView utf8);     // the entry, new or already there

private:
    int slotOf(QByteArrayView utf8, size_t hash) const;
    void rehash(size_t slotCount);

    TextList m_texts;
    std::vector<size_t> m_hashes; // per entry
    std::vector<int> m_slots;     // an entry, or -1 for an empty slot
};
