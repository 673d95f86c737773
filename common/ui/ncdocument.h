// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NC editors' side of common/nctext.h: puts a decoded program into an NcEditor and gets
// the bytes to write back out of it, with the file's own encoding and line ends.
#include "common/nctext.h"

#include <QString>

namespace vantor {

class NcEditor;

// How the program in an editor was stored on disk, so a save can store it the same way.
class NcDocumentFormat {
public:
    // Shows the program; lines ending unlike the file's usual end keep that end in the editor.
    void load(NcEditor& editor, NcDecodedText decoded);
    // A new, empty program: GBK with LF ends, as the editors have always written one.
    void reset() { *this = NcDocumentFormat(); }
    // The editor's text as bytes, or the line and character the encoding cannot hold.
    NcEncodedText encode(const NcEditor& editor) const;

    const NcTextFormat& format() const { return format_; }

private:
    NcTextFormat format_;
};

// Reads path and shows it in the editor. False (and the editor untouched) when it cannot be read.
bool loadNcFile(NcEditor& editor, NcDocumentFormat& format, const QString& path, QString* error);

struct NcSaveResult {
    bool ok = false;
    int badLine = 0;         // a character the file's encoding cannot hold: nothing was written
    QString badCharacter;
    QString writeError;      // the writer's own words when the file could not be written
};

// Encodes and writes atomically; the editor is marked unmodified only when the write succeeded.
NcSaveResult saveNcFile(NcEditor& editor, const NcDocumentFormat& format, const QString& path);

// Selects the next occurrence after the caret (after the selection, when there is one).
// False, and nothing moves, when there is none.
bool findNcText(NcEditor& editor, const QString& what, bool matchCase);

}  // namespace vantor
