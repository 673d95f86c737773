// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two signal comment text files: the diagnosis meaning file (Diag.mea, read only) and
// the user notation file (LadChi01.txt). Parsing turns their bytes into entries for the
// comment tables; nothing here touches a file.
#include <QByteArray>
#include <QString>

#include "rungpad/model/comments.h"

#include <vector>

namespace rungpad {

struct CommentEntry {
    bool relay = false;   // RelayNotationTable (byte * 8 + bit) when true, else NotationTable
    int index = 0;
    QString text;
    bool operator==(const CommentEntry&) const = default;
};

struct MCodeEntry {
    int mCode = 0;   // 0..97
    int signal = -1; // F byte * 10 + bit, or -1 for "none"
    bool operator==(const MCodeEntry&) const = default;
};

struct NotationFileContent {
    std::vector<MCodeEntry> mCodes;
    std::vector<CommentEntry> comments;
};

// Diag.mea: signal lines "Lbbbd     text" up to a line "end" or a line shorter than 3.
std::vector<CommentEntry> parseDiagnosisFile(QByteArrayView bytes);

// LadChi01.txt: M section, "%" line, signal section, "end".
NotationFileContent parseUserNotationFile(QByteArrayView bytes);

// Stores parsed entries into the document's tables (entries not named keep their text).
void applyNotationContent(const NotationFileContent& content, CommentTables& tables);
void applyCommentEntries(const std::vector<CommentEntry>& entries, CommentTables& tables);

// The reverse: M lines for every mapped M code, "%", the exported signal ranges, "end",
// each line ended by CR LF, text in GBK.
QByteArray formatUserNotationFile(const CommentTables& tables);

// One exported range of the signal section.
struct NotationExportRange {
    char letter;
    int firstByte;
    int lastByte;
};
inline constexpr NotationExportRange kNotationExportRanges[] = {
    {'X', 0, 6}, {'Y', 0, 5}, {'K', 6, 63}, {'A', 0, 63}, {'R', 0, 999},
};

}  // namespace rungpad
