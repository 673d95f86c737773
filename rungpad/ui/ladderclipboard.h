// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One clipboard for every document of the frame: the last copy or cut wins, whichever
// document it came from. The cells go to the system clipboard with a token of this copy
// (and whole lines also as ladder text, for another Rungpad or an e-mail); a paste takes the
// remembered cells only while the clipboard still carries that token. Whatever replaced
// them is pasted when it is ladder text and refused otherwise, never an older copy.
#include "rungpad/compiler/ladderedit.h"

#include <QByteArray>

#include <optional>

namespace rungpad::ui {

class LadderClipboard {
public:
    // Marks the clipboard's data as cells of a Rungpad copy.
    static const char* const kMimeType;

    // After a successful copy or cut.
    void copied(const CellClip& clip);
    // What a paste inserts now; nullopt: refuse ("Operation error!").
    std::optional<CellClip> pasteSource() const;

private:
    CellClip m_clip;
    QByteArray m_token;
    quint64 m_serial = 0;
};

}  // namespace rungpad::ui
