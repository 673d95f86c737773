// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A compact text form of a ladder, for tests and debugging (not a controller format).
// One text line per ladder line, cells left to right separated by blanks; missing cells
// at the end of a line are empty:
//   .            empty            -            horizontal wire
//   X000.0       open contact     /X000.0      closed contact    []  [/]  contacts without address
//   (Y000.0)     coil             (/Y000.0)    negated coil      ()  (/)  coils without address
//   {1901:0005}  function block cell: hex code, optional text      {1910}
//   a trailing + on any token sets the cell's vertical link:  X000.0+   -+   .+
//   ;text        at the end of a line: the line note
// Lines that are blank or start with # are skipped; a line holding only "." is an empty
// ladder line. Cell numbers are derived from the texts as the ladder file does.
#include "rungpad/model/ladder.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace rungpad {

struct LadderTextError {
    int textLine = 0;   // 1-based line of the text
    QString message;
};

std::optional<LadderProgram> readLadderText(const QString& text, LadderTextError* error = nullptr);
QString writeLadderText(const LadderProgram& ladder);
// The number a cell record stores for a text: digits after the address letter(s) up to a
// point; 0 when the text holds anything else; -1 for an empty text.
qint16 cellNumberOfText(QByteArrayView text);

}  // namespace rungpad
