// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ladder file (.plf with comment records, .grp without), in both the current layout and
// the version 1.0 export. Bytes in, bytes out: reading and writing files is the caller's.
#include "rungpad/model/comments.h"
#include "rungpad/model/ladder.h"
#include "rungpad/model/ladderdocument.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace rungpad {

// A path whose last three characters, upper-cased, are "GRP" holds no comment records.
bool isGrpPath(const QString& path);
// The path with its last four characters replaced (the older editor's default names).
QString withExtension(const QString& path, const QString& dotExtension);

enum class LadderLoadError {
    None,
    LineCount,   // line count word beyond 5000 lines
    Truncated,   // fewer bytes than the line count promises
    NotLadder,   // a cell holds a code no ladder element has
};

enum class CommentLoadResult {
    NotRead,   // .grp files, or the ladder part was refused
    Loaded,
    Failed,    // unknown tag, index outside its table, text too long, record cut short
};

struct CommentRecord {
    quint16 tag = 0;
    quint32 index = 0;
    QByteArrayView text;   // GBK, inside the LadderFileContent that holds the record
};

// Moved, never copied: the records' texts point into commentBytes.
struct LadderFileContent {
    LadderFileContent() = default;
    LadderFileContent(LadderFileContent&&) noexcept = default;
    LadderFileContent& operator=(LadderFileContent&&) noexcept = default;
    LadderFileContent(const LadderFileContent&) = delete;
    LadderFileContent& operator=(const LadderFileContent&) = delete;

    LadderLoadError error = LadderLoadError::None;
    int declaredLines = 0;   // what the line count word says, for the refusal message
    LadderProgram ladder;
    LadderInfo info;
    CommentLoadResult comments = CommentLoadResult::NotRead;
    // The bytes the comment texts are read from: the file's own array shared when it came as
    // one, else one copy of the comment part (tens of thousands of texts, no copy each).
    QByteArray commentBytes;
    qsizetype commentOffset = 0;   // where the comment part starts in commentBytes
    // The records before any failure (a failed part still gives those), listed on demand:
    // opening a file only checks them, and a list of tens of thousands of records would
    // cost the open more than the records' own bytes.
    std::vector<CommentRecord> records() const;
    bool ok() const { return error == LadderLoadError::None; }
};

// Parses the ladder part and, when withComments, the comment records after it. The ladder
// comes back with table rows set; line notes from the records are not yet applied.
LadderFileContent parseLadderFile(QByteArrayView bytes, bool withComments);
LadderFileContent parseLadderFile(const QByteArray& bytes, bool withComments);

// Line notes into the ladder, notations into the tables.
void applyCommentRecords(const std::vector<CommentRecord>& records, LadderProgram& ladder, CommentTables& tables);
// The same, with each text decoded when its table is first used; takes the records and the
// bytes they point into over from content.
void deferCommentRecords(LadderFileContent& content, LadderProgram& ladder, CommentTables& tables);

// Number field written for a cell text: the digits after the address letter (DC/DT: two
// letters), 0 for a text that is not of that shape, -1 (a fresh cell's) for no text.
qint16 numberFromCellText(QByteArrayView text);
// Number field of the version 1.0 export.
qint16 version1Number(const LadderCell& cell);

enum class NumberField { FromText, Version1 };
QByteArray formatLadderPart(const LadderProgram& ladder, const LadderInfo& info, NumberField numbers);
// Line notes, then NotationTable, then RelayNotationTable, non-empty texts only; texts longer
// than a reader can hold are cut at a character boundary.
QByteArray formatCommentRecords(const LadderProgram& ladder, const CommentTables& tables);
// A whole file in one buffer: the ladder part, then the comment records when tables are given.
QByteArray formatLadderFile(const LadderProgram& ladder, const LadderInfo& info, const CommentTables* tables);

// Blocks stored one line high by the version 1.0 export get back their full height: missing
// block lines are inserted, lower block cells lose their text.
void normalizeFunctionBlocks(LadderProgram& ladder);

// The export copy for a version 1.0 file: header words and lines of the edit ladder without
// notes, the shortened blocks one line high. nullopt when the ladder holds an instruction the
// old version does not know (TMRB, TMRC, CALLU, MOVB, MOVW); offending gets its 0-based line.
std::optional<LadderProgram> makeVersion1Copy(const LadderProgram& ladder, int* offendingLine = nullptr);

}  // namespace rungpad
