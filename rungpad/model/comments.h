// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three signal comment tables a ladder document owns, with their index rules.
#include "rungpad/model/deferredtexts.h"

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace rungpad {

inline constexpr int kNotationEntries = 24576;
inline constexpr int kRelayNotationEntries = 8000;   // R000.0..R999.7
inline constexpr int kMCodeCount = 98;               // M00..M97

// Byte base of a letter inside NotationTable: F 0, G 256, X 512, Y 640, K 768, A 832; R 0
// (R goes to its own table). -1 for any other letter.
int notationByteBase(char letter);

// Where the comment of an address lives.
struct CommentKey {
    bool relay = false;   // RelayNotationTable when true, else NotationTable
    int index = 0;
};
// Letter/byte/bit to table index; nullopt when the letter is unknown or the index falls
// outside its table.
std::optional<CommentKey> commentKey(char letter, int byte, int bit);
// From an address text "L bbb.d" (X012.3). When the bit character is 0, 1, F or I and the
// byte index lies in 128..255 the bit counts as 0.
std::optional<CommentKey> commentKeyOfText(QByteArrayView text);

// A table of comment texts by index, as both signal tables keep them.
class CommentTextTable {
public:
    const QString& at(int index) const;          // empty outside the table
    bool set(int index, const QString& text);    // false outside the table
    void clear();
    int size() const { return m_entries; }
    // Texts written over the table on first access, after everything set before.
    void setDeferred(DeferredTexts::Fill fill, DeferredTexts::Bytes bytes = {});
    // True, with every entry's stored bytes, while the table holds nothing but deferred texts
    // nobody has read: they can be written back unconverted.
    bool storedBytes(std::vector<QByteArrayView>& entries) const;

protected:
    explicit CommentTextTable(int entries) : m_entries(entries) {}

private:
    void settle() const
    {
        if (m_deferred.pending() && m_texts.empty())
            m_texts.resize(size_t(m_entries));
        m_deferred.settle(m_texts);
    }
    int m_entries;
    // Filled in by the first access, even a reading one; no entries at all until a text is
    // set or read in (each document holds both tables, most of them never used).
    mutable std::vector<QString> m_texts;
    mutable DeferredTexts m_deferred;
};

class NotationTable : public CommentTextTable {
public:
    NotationTable() : CommentTextTable(kNotationEntries) {}
};

class RelayNotationTable : public CommentTextTable {
public:
    RelayNotationTable() : CommentTextTable(kRelayNotationEntries) {}
};

// M code -> F signal as byte * 10 + bit, or -1.
class MCodeSignalMap {
public:
    MCodeSignalMap() : m_entries(kMCodeCount, -1) {}
    int at(int mCode) const;
    bool set(int mCode, int signal);
    void clear();
private:
    std::vector<int> m_entries;
};

// All three, as the document carries them, with lookup by address.
struct CommentTables {
    NotationTable notation;
    RelayNotationTable relay;
    MCodeSignalMap mCodes;

    QString commentOf(QByteArrayView addressText) const;
    bool setCommentOf(QByteArrayView addressText, const QString& text);
    void clear();
};

}  // namespace rungpad
