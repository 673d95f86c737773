// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The document's file commands: open and save a ladder file, the ladder/old ladder/binary/
// instruction-list outputs and the notation import/export. The shells (frame, command-line
// tool, tests) choose the paths and answer the dialogs; this layer checks, converts, moves
// the bytes through an atomic save and reports in the document's language.
#include "common/prompter.h"
#include "rungpad/files/filemessages.h"
#include "rungpad/files/outputwriters.h"
#include "rungpad/model/ladderdocument.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace rungpad {

// The output window: progress and error lines, in order.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void outputLine(const QString& text) = 0;
};

class RecordingOutput : public OutputSink {
public:
    std::vector<QString> lines;
    void outputLine(const QString& text) override { lines.push_back(text); }
};

// What the file commands need from the converter of a document.
class LadderConversion {
public:
    virtual ~LadderConversion() = default;
    // Full conversion of the edit ladder (header words updated on success). On failure
    // errorLine is the formatted "Ladder the %04d Line, error code: ..." line.
    virtual bool convert(LadderDocument& document, QString* errorLine) = 0;
    // The silent pre-check after loading, so the used-number tables describe the ladder.
    virtual void precheck(LadderDocument& document) = 0;
    // Result of the last successful conversion.
    virtual const ConversionOutput& output() const = 0;
};

struct FileCommandEnvironment {
    vantor::Prompter& prompter;
    OutputSink& output;
    int language = 0;              // 0 Chinese, 1 English
    QString programFolder;         // where the default LadChi01.txt is written
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // Where Diag.mea and LadChi01.txt are looked for, first match wins (the user's copy, the
    // installed one, the build tree's); empty: programFolder alone.
    QStringList dataFolders;
};

class LadderFileCommands {
public:
    LadderFileCommands(LadderDocument& document, LadderConversion& conversion, FileCommandEnvironment env);

    // Open: on any refusal the document is left exactly as it was and false comes back, so
    // nothing can later be saved over the file that failed to load.
    bool open(const QString& path);
    // Save / Save As: converts (an error is reported, the ladder is still saved so no edit is
    // lost), writes the ladder part and, unless the path ends in GRP, the comment records.
    bool save(const QString& path);
    // Convert command: "Converting...", then the result; sets or clears the converted state.
    bool convert();

    bool generateLadderFile(const QString& path);
    bool generateOldLadderFile(const QString& path);
    bool generateBinaryFile(const QString& path);
    bool generateInstructionList(const QString& path);

    bool exportNotation(const QString& path);
    // path empty: the default file in the program folder, read silently.
    bool importNotation(const QString& path);

private:
    QString text(FileMessage id) const;
    void say(FileMessage id);
    // "Can not load the mean!" and, under it, where the controller's own Diag.mea goes.
    void sayMeanFileMissing();
    void fail(FileMessage id);   // message box and output window
    // The same, with the writer's "<file>: <system reason>" on a line of its own.
    void fail(FileMessage id, const QString& writeError);
    bool requireConversion();
    bool writeOutput(const QString& path, const QByteArray& bytes);
    void readProgramFolderComments(LadderDocument& target);
    QString programFile(const char* name) const;

    LadderDocument& doc_;
    LadderConversion& conversion_;
    FileCommandEnvironment env_;
};

}  // namespace rungpad
