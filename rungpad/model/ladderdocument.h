// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one open ladder document holds, apart from the converter (rungpad/compiler owns that):
// the edit ladder, the export copy, comment tables, ladder information and the converted state.
#include "rungpad/model/comments.h"
#include "rungpad/model/ladder.h"

#include <QString>

namespace rungpad {

// Sizes of the information texts in the file header (bytes, NUL-padded).
inline constexpr int kVersionBytes = 15;
inline constexpr int kMachineBytes = 40;
inline constexpr int kModifierBytes = 20;
inline constexpr int kSaveTimeBytes = 25;
// Save time as written at every save (strftime form).
inline constexpr const char* kSaveTimeFormat = "%Y-%m-%d %H:%M";

struct LadderInfo {
    QString version;    // editor limit 15 characters
    QString machine;    // 40
    QString modifier;   // 20
    QString saveTime;   // set at every save
};

class LadderDocument {
public:
    // A new document: one empty line, empty comments, MCodeSignalMap all -1, not converted.
    LadderDocument();

    LadderProgram editLadder;
    LadderProgram exportCopy;
    CommentTables comments;
    LadderInfo info;
    QString pathName;

    // True only while the edit ladder is exactly the one the last successful conversion saw:
    // any edit after it (any mutable access to a line, any insert or delete) makes it false,
    // so no output command can write a stale image.
    bool isConverted() const { return m_converted && m_convertedRevision == editLadder.revision(); }
    void setConverted(bool ok);

    bool isModified() const { return m_modified; }
    void markModified();   // after every edit; also ends the converted state
    void setModified(bool modified) { m_modified = modified; }

private:
    bool m_converted = false;
    quint64 m_convertedRevision = 0;
    bool m_modified = false;
};

}  // namespace rungpad
