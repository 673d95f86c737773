// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of an NC program as the editors hold it: the decoded file kept once in one string
// with a table of where each line starts, and only the lines the user changed copied out of
// it. A 20 MB, 400,000-line program costs its decoded text plus 16 bytes a line, and opening
// it is one scan for line breaks. Lines carry the end they were read with, so a save writes
// back what it did not change byte for byte.
#include "common/nctext.h"

#include <QString>
#include <QStringView>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantor {

// A place between two characters: line and column, both 0-based (columns count UTF-16 units).
struct NcPos {
    int line = 0;
    int column = 0;
    friend auto operator<=>(const NcPos&, const NcPos&) = default;
};

class NcLineStore {
public:
    NcLineStore();

    // text: lines joined by '\n'. exceptions: lines ending unlike the file's usual end, as
    // decodeNcText gives them. Starts a fresh history, unmodified.
    void setText(QString text, const std::vector<NcLineEndException>& exceptions = {});

    int lineCount() const { return int(lines_.size()); }
    QStringView line(int i) const;
    int lineLength(int i) const { return lines_[size_t(i)].length; }
    // Characters including one per line break.
    qsizetype characterCount() const { return characters_; }
    // The longest line seen since the text was set (edits may have shortened it since).
    int widestLine() const { return widest_; }
    bool isEmpty() const { return characters_ == 0; }

    QString text() const;
    QString text(NcPos from, NcPos to) const;
    // The lines whose end differs from the file's usual one, after every edit so far.
    std::vector<NcLineEndException> lineEndExceptions() const;

    NcPos clamp(NcPos p) const;
    NcPos end() const { return {lineCount() - 1, lineLength(lineCount() - 1)}; }

    // Replaces [from, to) by text ('\n' separates lines; new line breaks take the file's usual
    // end). One undo step, merged with the previous one while the user types a word. Returns
    // the end of the inserted text.
    NcPos replace(NcPos from, NcPos to, QStringView text);
    NcPos insert(NcPos at, QStringView text) { return replace(at, at, text); }
    // Edits between these make one undo step (they nest).
    void beginGroup();
    void endGroup();

    bool canUndo() const { return done_ > 0; }
    bool canRedo() const { return done_ < std::ptrdiff_t(commands_.size()); }
    // Where the caret goes after an undo or redo: the end of the text it put back.
    std::optional<NcPos> undo();
    std::optional<NcPos> redo();

    bool isModified() const { return clean_ != done_; }
    void setModified(bool modified);

    struct Match {
        NcPos at;
        int length = 0;
    };
    struct FindOptions {
        bool matchCase = false;
        bool backward = false;
        bool wrap = false;
    };
    // Forward: the first match starting at or after from. Backward: the last match ending at
    // or before from. A match never spans a line break.
    std::optional<Match> find(QStringView what, NcPos from, FindOptions options) const;
    // One undo step; the count of replacements.
    int replaceAll(QStringView what, QStringView with, bool matchCase);

private:
    struct Line {
        qsizetype start = 0;  // into base_; below 0, -1 - slot in edited_
        std::int32_t length = 0;
        std::uint8_t end = 0;  // 0: the file's usual end; else 1 + NcLineEnd
    };
    struct Step {
        NcPos from;
        NcPos insertedEnd;
        NcPos removedEnd;
        QString removed;
        QString inserted;
        std::vector<std::uint8_t> removedEnds;
        std::vector<std::uint8_t> insertedEnds;
    };
    struct Command {
        std::vector<Step> steps;
    };

    // Replaces without recording; ends (when given) are the new line breaks' ends.
    NcPos apply(NcPos from, NcPos to, const QString& text, const std::vector<std::uint8_t>* ends,
                QString* removed, std::vector<std::uint8_t>* removedEnds);
    Line storeLine(QString text, std::uint8_t end);
    void releaseLine(const Line& l);
    void record(Step step);
    std::optional<Match> findForward(QStringView what, NcPos from, Qt::CaseSensitivity cs, int lastLine) const;
    std::optional<Match> findBackward(QStringView what, NcPos from, Qt::CaseSensitivity cs, int firstLine) const;

    QString base_;
    std::vector<Line> lines_;
    std::vector<QString> edited_;
    std::vector<int> freeSlots_;
    qsizetype characters_ = 0;
    int widest_ = 0;

    std::vector<Command> commands_;
    std::ptrdiff_t done_ = 0;   // commands applied; the rest can be redone
    std::ptrdiff_t clean_ = 0;  // done_ when last saved or loaded; -1: no state is clean
    int groupDepth_ = 0;
    bool groupOpen_ = false;    // the open group has its command on the stack already
    bool mayMerge_ = false;     // the last command is a run of typing that may grow
};

}  // namespace vantor
