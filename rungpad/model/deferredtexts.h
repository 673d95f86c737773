// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts a file holds as stored bytes, turned into QStrings the first time one of them is
// read or changed: opening a ladder must not pay for tens of thousands of comments before
// anything looks at them. The holder calls settle() before every access to its texts.
#include <QString>

#include <functional>
#include <utility>
#include <vector>

namespace rungpad {

class DeferredTexts {
public:
    // Writes the stored texts over the entries they name; runs at most once.
    using Fill = std::function<void(std::vector<QString>&)>;

    void set(Fill fill) { m_fill = std::move(fill); }
    void drop() { m_fill = nullptr; }
    bool pending() const { return bool(m_fill); }
    // True when texts were filled now.
    bool settle(std::vector<QString>& texts)
    {
        if (!m_fill)
            return false;
        Fill fill = std::move(m_fill);
        m_fill = nullptr;
        fill(texts);
        return true;
    }

private:
    Fill m_fill;
};

}  // namespace rungpad
