// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/comments.h"

namespace rungpad {

int notationByteBase(char letter)
{
    switch (letter) {
    case 'F': case 'R': return 0;
    case 'G': return 256;
    case 'X': return 512;
    case 'Y': return 640;
    case 'K': return 768;
    case 'A': return 832;
    default: return -1;
    }
}

std::optional<CommentKey> commentKey(char letter, int byte, int bit)
{
    const int base = notationByteBase(letter);
    if (base < 0 || byte < 0 || bit < 0 || bit > 7)
        return std::nullopt;
    CommentKey key;
    key.relay = letter == 'R';
    key.index = (base + byte) * 8 + bit;
    if (key.index >= (key.relay ? kRelayNotationEntries : kNotationEntries))
        return std::nullopt;
    return key;
}

std::optional<CommentKey> commentKeyOfText(QByteArrayView text)
{
    if (text.size() < 2)
        return std::nullopt;
    const char letter = text[0];
    int byte = 0;
    qsizetype i = 1;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
        byte = byte * 10 + (text[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    int bit = 0;
    if (i < text.size() && text[i] == '.' && i + 1 < text.size()) {
        const char b = text[i + 1];
        const int base = notationByteBase(letter);
        const int byteIndex = base + byte;
        if ((b == '0' || b == '1' || b == 'F' || b == 'I') && byteIndex >= 128 && byteIndex <= 255)
            bit = 0;
        else if (b >= '0' && b <= '7')
            bit = b - '0';
        else
            return std::nullopt;
    }
    return commentKey(letter, byte, bit);
}

const QString& CommentTextTable::at(int index) const
{
    static const QString kNone;
    settle();
    return index >= 0 && size_t(index) < m_texts.size() ? m_texts[size_t(index)] : kNone;
}

bool CommentTextTable::set(int index, const QString& text)
{
    if (index < 0 || index >= m_entries)
        return false;
    settle();
    if (m_texts.empty()) {
        if (text.isEmpty())
            return true;
        m_texts.resize(size_t(m_entries));
    }
    m_texts[size_t(index)] = text;
    return true;
}

void CommentTextTable::clear()
{
    m_deferred.drop();
    m_texts.clear();
}

void CommentTextTable::setDeferred(DeferredTexts::Fill fill, DeferredTexts::Bytes bytes)
{
    settle();
    m_deferred.set(std::move(fill), std::move(bytes));
}

bool CommentTextTable::storedBytes(std::vector<QByteArrayView>& entries) const
{
    if (!m_texts.empty() || !m_deferred.pending())
        return false;
    entries.assign(size_t(m_entries), QByteArrayView());
    return m_deferred.storedBytes(entries);
}

int MCodeSignalMap::at(int mCode) const
{
    return mCode >= 0 && mCode < kMCodeCount ? m_entries[size_t(mCode)] : -1;
}

bool MCodeSignalMap::set(int mCode, int signal)
{
    if (mCode < 0 || mCode >= kMCodeCount)
        return false;
    m_entries[size_t(mCode)] = signal;
    return true;
}

void MCodeSignalMap::clear() { std::fill(m_entries.begin(), m_entries.end(), -1); }

QString CommentTables::commentOf(QByteArrayView addressText) const
{
    const auto key = commentKeyOfText(addressText);
    if (!key)
        return {};
    return key->relay ? relay.at(key->index) : notation.at(key->index);
}

bool CommentTables::setCommentOf(QByteArrayView addressText, const QString& text)
{
    const auto key = commentKeyOfText(addressText);
    if (!key)
        return false;
    return key->relay ? relay.set(key->index, text) : notation.set(key->index, text);
}

void CommentTables::clear()
{
    notation.clear();
    relay.clear();
    mCodes.clear();
}

}  // namespace rungpad
