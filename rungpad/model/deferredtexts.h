// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts a file holds as stored bytes, turned into QStrings the first time one of them is
// read or changed: opening a ladder must not pay for tens of thousands of comments before
// anything looks at them. The holder calls settle() before every access to its texts.
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

namespace rungpad {

class DeferredTexts {
public:
    // Writes the stored texts over the entries they name; runs at most once.
    using Fill = std::function<void(std::vector<QString>&)>;
    // The stored bytes of each entry it names, over an empty view for the others: a writer
    // can pass texts nobody has read on as they came, undecoded.
    using Bytes = std::function<void(std::vector<QByteArrayView>&)>;

    void set(Fill fill, Bytes bytes = {})
    {
        m_fill = std::move(fill);
        m_bytes = std::move(bytes);
    }
    void drop() { set(nullptr); }
    bool pending() const { return bool(m_fill); }
    // While still pending: the stored bytes, valid as long as it stays pending.
    bool storedBytes(std::vector<QByteArrayView>& entries) const
    {
        if (!m_fill || !m_bytes)
            return false;
        m_bytes(entries);
        return true;
    }
    // True when texts were filled now.
    bool settle(std::vector<QString>& texts)
    {
        if (!m_fill)
            return false;
        Fill fill = std::move(m_fill);
        m_fill = nullptr;
        m_bytes = nullptr;
        fill(texts);
        return true;
    }

private:
    Fill m_fill;
    Bytes m_bytes;
};

}  // namespace rungpad
