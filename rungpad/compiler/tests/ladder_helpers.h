// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the converter tests and the benchmark: ladders from the text form, and the
// instruction list without its line-number suffix.
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/model/laddertext.h"

#include <QString>
#include <QStringList>

namespace rungpad::testing {

// The two level ends every convertible ladder needs.
inline const char* kEnds = "- - - - {7100:END1} - - - - -\n- - - - {7200:END2} - - - - -\n";

struct Outcome {
    bool ok = false;
    int code = 0;      // last error
    int line = 0;      // its 0-based ladder line
    QStringList lines; // instruction lines without the suffix, trailing blanks removed
    std::vector<QByteArray> raw;
    CodeImage image;
    LadderProgram ladder;
};

inline LadderProgram ladderOf(const QString& text)
{
    LadderTextError e;
    auto p = readLadderText(text, &e);
    if (!p)
        qFatal("bad ladder text at %d: %s", e.textLine, qPrintable(e.message));
    return *p;
}

inline Outcome convertText(const QString& text)
{
    Outcome o;
    o.ladder = ladderOf(text);
    LadderCompiler c(&o.ladder);
    o.ok = c.convert();
    if (auto e = c.lastError()) {
        o.code = e->code;
        o.line = e->line;
    }
    o.raw = c.instructionLines();
    for (const QByteArray& l : o.raw) {
        QString s = QString::fromLatin1(l);
        s.chop(6);   // "  %4d"
        o.lines << s.trimmed();
    }
    o.image = c.codeImage();
    return o;
}

}  // namespace rungpad::testing
