// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NC editors' side of common/nctext.h: puts a decoded program into a QPlainTextEdit and
// gets the bytes to write back out of it, with the file's own encoding and line ends.
#include "common/nctext.h"

#include <QString>

#include <vector>

class QPlainTextEdit;
class QTextDocument;

namespace vantor {

// How the program in an editor was stored on disk, so a save can store it the same way.
class NcDocumentFormat {
public:
    // Shows the program; lines ending unlike the file's usual end are marked on their blocks.
    void load(QPlainTextEdit& editor, NcDecodedText decoded);
    // A new, empty program: GBK with LF ends, as the editors have always written one.
    void reset() { *this = NcDocumentFormat(); }
    // The document as bytes, or the line and character the encoding cannot hold.
    NcEncodedText encode(const QTextDocument& document) const;

    const NcTextFormat& format() const { return format_; }

private:
    NcTextFormat format_;
    bool mixedEnds_ = false;
};

// Reads path and shows it in the editor. False (and the editor untouched) when it cannot be read.
bool loadNcFile(QPlainTextEdit& editor, NcDocumentFormat& format, const QString& path, QString* error);

struct NcSaveResult {
    bool ok = false;
    int badLine = 0;         // a character the file's encoding cannot hold: nothing was written
    QString badCharacter;
    QString writeError;      // the writer's own words when the file could not be written
};

// Encodes and writes atomically; the document is marked unmodified only when the write succeeded.
NcSaveResult saveNcFile(QPlainTextEdit& editor, const NcDocumentFormat& format, const QString& path);

// Selects the next occurrence after the caret (after the selection, when there is one), as
// QPlainTextEdit::find does: line by line near the caret, beyond that over the document's
// text in one piece (find() builds a string per line, most of a second through 400,000
// lines). False, and nothing moves, when there is none.
bool findNcText(QPlainTextEdit& editor, const QString& what, bool matchCase);

}  // namespace vantor
