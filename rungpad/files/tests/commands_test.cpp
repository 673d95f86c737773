// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/filemessages.h"
#include "rungpad/files/fileformat.h"
#include "rungpad/files/laddercommands.h"
#include "rungpad/files/ladderfile.h"

#include "common/archive.h"
#include "common/atomicfile.h"
#include "common/gbk.h"

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace rungpad;

namespace {

// Stands in for the converter: succeeds or fails as told, hands out a fixed image.
class FakeConversion : public LadderConversion {
public:
    bool succeed = true;
    int prechecks = 0;
    ConversionOutput image;

    bool convert(LadderDocument& document, QString* errorLine) override
    {
        if (!succeed) {
            *errorLine = QStringLiteral("Ladder the 0001 Line, error code: 1005 error in  END1/END2");
            return false;
        }
        document.editLadder.stepCount = qint16(image.records.size() - 2);
        return true;
    }
    void precheck(LadderDocument&) override { ++prechecks; }
    const ConversionOutput& output() const override { return image; }
};

QString en(FileMessage m) { return fileMessage(m, 1); }

bool contains(const std::vector<QString>& v, const QString& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

LadderRow contactCoilRow(const char* contact, const char* coil)
{
    LadderRow row;
    row[0].code = kContactNO;
    row[0].setText(contact);
    for (int c = 1; c < 9; ++c)
        row[c].code = kHorizontalWire;
    row[9].code = kCoil;
    row[9].setText(coil);
    return row;
}

struct Fixture {
    QTemporaryDir dir;
    LadderDocument doc;
    FakeConversion conversion;
    vantor::ScriptedPrompter prompter;
    RecordingOutput output;
    LadderFileCommands commands{doc, conversion,
                                FileCommandEnvironment{prompter, output, 1, dir.path(),
                                                       [] { return QDateTime(QDate(2024, 5, 1), QTime(10, 20)); }}};

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void write(const char* name, const QByteArray& bytes) const
    {
        ASSERT_TRUE(vantor::saveFileAtomically(path(name), bytes).ok);
    }
    QByteArray read(const char* name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void convertOk()
    {
        conversion.image.records = {{1, 2, 0, 0, 0x9A, 0x80, 'X', 0x08}, {0xFE, 0xFE, 1, 0, 0, 0, 0, 0}};
        conversion.image.dataWords = {0x1234};
        conversion.image.instructionLines = {"RD        X010.3     1", "WRT       Y000.0  1234"};
        ASSERT_TRUE(commands.convert());
    }
};

}  // namespace

TEST(LadderCommands, OpenReadsProgramFolderCommentsThenTheFileRecords)
{
    Fixture f;
    f.write("Diag.mea", "X0003     door (diag)\r\nX0004     diag only\r\nend\r\n");
    f.write("LadChi01.txt", "M05 F0263 spindle\r\n%\r\nX0003     door (user)\r\nend\r\n");
    LadderProgram p;
    p.clear();
    p.appendLoadedLine(contactCoilRow("X000.3", "Y000.0"));
    p.setNote(0, QStringLiteral("第一行"));
    CommentTables t;
    t.setCommentOf("X000.3", QStringLiteral("门"));
    f.write("demo.plf", formatLadderPart(p, {}, NumberField::FromText) + formatCommentRecords(p, t));

    ASSERT_TRUE(f.commands.open(f.path("demo.plf")));
    EXPECT_EQ(f.doc.comments.commentOf("X000.3"), QStringLiteral("门"));
    EXPECT_EQ(f.doc.comments.commentOf("X000.4"), "diag only");
    EXPECT_EQ(f.doc.comments.mCodes.at(5), 263);
    EXPECT_EQ(f.doc.editLadder.note(0), QStringLiteral("第一行"));
    EXPECT_EQ(f.doc.pathName, f.path("demo.plf"));
    EXPECT_EQ(f.conversion.prechecks, 1);
    EXPECT_FALSE(f.doc.isConverted());
    const std::vector<QString> expected{en(FileMessage::LoadingFile), en(FileMessage::FileLoaded),
                                        en(FileMessage::LoadingNotation), en(FileMessage::NotationLoaded)};
    EXPECT_EQ(f.output.lines, expected);

    // The same bytes under a .grp name: the records are not read, the missing Diag.mea is said.
    QFile::remove(f.path("Diag.mea"));
    f.write("DEMO.GRP", f.read("demo.plf"));
    f.output.lines.clear();
    ASSERT_TRUE(f.commands.open(f.path("DEMO.GRP")));
    EXPECT_EQ(f.doc.editLadder.note(0), QString());
    EXPECT_TRUE(contains(f.output.lines, en(FileMessage::CannotLoadMean)));
    EXPECT_FALSE(contains(f.output.lines, en(FileMessage::LoadingNotation)));
}

TEST(LadderCommands, RefusedFileLeavesTheDocumentAsItWas)
{
    Fixture f;
    f.doc.editLadder.mutableLine(0)->cells[0].setText("KEEP");
    f.doc.pathName = "previous.plf";
    QByteArray tooMany(2, '\0');
    tooMany[0] = char(0x88);
    tooMany[1] = char(0x13);
    f.write("toomany.plf", tooMany + QByteArray(200, '\0'));
    f.write("short.plf", QByteArray(107, '\0'));
    // One line whose first cell holds a code no element has: some other binary file.
    QByteArray other(fileformat::kHeaderBytes + fileformat::kLineBytes, '\0');
    other[fileformat::kHeaderBytes + 1] = char(0x09);
    f.write("other.plf", other);
    // Two lines promised, one there.
    QByteArray cut(fileformat::kHeaderBytes + fileformat::kLineBytes, '\0');
    cut[0] = 1;
    f.write("cut.plf", cut);
    struct Case { const char* name; QString reason; };
    const Case cases[] = {
        {"toomany.plf", en(FileMessage::OpenTooManyLines).arg(QDir::toNativeSeparators(f.path("toomany.plf"))).arg(5001)},
        {"short.plf", en(FileMessage::OpenTruncated).arg(QDir::toNativeSeparators(f.path("short.plf"))).arg(1)},
        {"cut.plf", en(FileMessage::OpenTruncated).arg(QDir::toNativeSeparators(f.path("cut.plf"))).arg(2)},
        {"other.plf", en(FileMessage::OpenNotLadder).arg(QDir::toNativeSeparators(f.path("other.plf")))},
        {"missing.plf", en(FileMessage::OpenMissing).arg(QDir::toNativeSeparators(f.path("missing.plf")))},
    };
    for (const Case& c : cases) {
        const char* name = c.name;
        f.prompter.shown.clear();
        f.output.lines.clear();
        const QByteArray before = f.read(name);
        EXPECT_FALSE(f.commands.open(f.path(name))) << name;
        EXPECT_EQ(f.doc.editLadder.cell(0, 0).text(), "KEEP") << name;
        EXPECT_EQ(f.doc.pathName, "previous.plf") << name;
        ASSERT_EQ(f.prompter.shown.size(), 1u) << name;
        // The fixed line, then the file and the reason.
        EXPECT_EQ(f.prompter.shown[0], en(FileMessage::CannotOpenLadder) + "\n" + c.reason) << name;
        EXPECT_TRUE(contains(f.output.lines, en(FileMessage::CannotOpenLadder))) << name;
        EXPECT_EQ(f.output.lines.back(), c.reason) << name;
        EXPECT_EQ(f.read(name), before) << name;
    }
    // Both languages name the reason.
    EXPECT_TRUE(fileMessage(FileMessage::OpenMissing, 0).contains("%1"));
    EXPECT_NE(fileMessage(FileMessage::OpenNotLadder, 0), fileMessage(FileMessage::OpenNotLadder, 1));
}

TEST(LadderCommands, BrokenCommentTailStillOpensTheLadder)
{
    Fixture f;
    LadderProgram p;
    QByteArray bytes = formatLadderPart(p, {}, NumberField::FromText);
    bytes += QByteArray::fromHex("0900" "00000000" "0100") + "x";   // tag 9 is no record kind
    f.write("bad.plf", bytes);
    ASSERT_TRUE(f.commands.open(f.path("bad.plf")));
    EXPECT_TRUE(contains(f.output.lines, en(FileMessage::LoadNotationError)));
    EXPECT_FALSE(contains(f.output.lines, en(FileMessage::NotationLoaded)));
}

TEST(LadderCommands, SaveWritesAtomicallyAndSaysOnlyWhatHappened)
{
    Fixture f;
    f.doc.editLadder.clear();
    f.doc.editLadder.appendLoadedLine(contactCoilRow("X000.1", "Y000.1"));
    f.doc.editLadder.setNote(0, "note");
    f.doc.comments.setCommentOf("R000.1", QStringLiteral("继电器"));
    f.doc.info.version = "V1";

    // A conversion error is reported, but the edits are still saved.
    f.conversion.succeed = false;
    ASSERT_TRUE(f.commands.save(f.path("a.plf")));
    EXPECT_TRUE(contains(f.output.lines, en(FileMessage::ConvertError)));
    EXPECT_FALSE(contains(f.output.lines, en(FileMessage::SaveFileFail)));
    EXPECT_TRUE(contains(f.output.lines, en(FileMessage::FileSaved)));
    EXPECT_EQ(f.doc.info.saveTime, "2024-05-01 10:20");

    Fixture g;
    g.write("Diag.mea", "end\r\n");
    ASSERT_TRUE(g.commands.open(f.path("a.plf")));
    LadderRow saved = f.doc.editLadder.line(0);
    for (LadderCell& cell : saved.cells)
        cell.number = numberFromCellText(cell.text());   // the number is written from the text
    EXPECT_EQ(g.doc.editLadder.line(0), saved);
    EXPECT_EQ(g.doc.editLadder.note(0), "note");
    EXPECT_EQ(g.doc.comments.commentOf("R000.1"), QStringLiteral("继电器"));
    EXPECT_EQ(g.doc.info.version, "V1");
    EXPECT_EQ(g.doc.info.saveTime, "2024-05-01 10:20");

    // Under a GRP name only the ladder part is written, whatever the case of the extension.
    for (const char* name : {"DEMO.grp", "demo.GRP"}) {
        f.output.lines.clear();
        ASSERT_TRUE(f.commands.save(f.path(name)));
        EXPECT_EQ(f.read(name).size(), fileformat::kHeaderBytes + fileformat::kLineBytes) << name;
        EXPECT_FALSE(contains(f.output.lines, en(FileMessage::NotationSaved))) << name;
    }

    // A save that cannot be written says so and leaves the old file alone.
    f.commands.save(f.path("a.plf"));
    const QByteArray before = f.read("a.plf");
    f.output.lines.clear();
    EXPECT_FALSE(f.commands.save(f.path("no-such-dir/a.plf")));
    EXPECT_TRUE(contains(f.output.lines, en(FileMessage::SaveFileFail)));
    EXPECT_FALSE(contains(f.output.lines, en(FileMessage::FileSaved)));
    EXPECT_EQ(f.read("a.plf"), before);
    EXPECT_EQ(f.doc.pathName, f.path("a.plf"));
}

TEST(LadderCommands, OutputsNeedACurrentConversion)
{
    Fixture f;
    using Command = bool (LadderFileCommands::*)(const QString&);
    for (Command command : {&LadderFileCommands::generateLadderFile, &LadderFileCommands::generateOldLadderFile,
                            &LadderFileCommands::generateBinaryFile, &LadderFileCommands::generateInstructionList}) {
        f.prompter.shown.clear();
        EXPECT_FALSE((f.commands.*command)(f.path("out")));
        ASSERT_EQ(f.prompter.shown.size(), 1u);
        EXPECT_EQ(f.prompter.shown[0], en(FileMessage::NotConverted));
        EXPECT_FALSE(QFileInfo::exists(f.path("out")));
    }
    // An edit after the conversion makes it stale.
    f.convertOk();
    f.doc.editLadder.mutableLine(0)->cells[0].code = kContactNO;
    EXPECT_FALSE(f.commands.generateBinaryFile(f.path("out")));
    EXPECT_FALSE(QFileInfo::exists(f.path("out")));
}

TEST(LadderCommands, BinaryAndInstructionListFiles)
{
    Fixture f;
    f.convertOk();
    ASSERT_TRUE(f.commands.generateBinaryFile(f.path("Ladbin.dat")));
    const QByteArray bin = f.read("Ladbin.dat");
    EXPECT_EQ(bin.size(), 8 * 2 + 2 * 1);
    EXPECT_EQ(bin.toHex(' '), "01 02 00 00 9a 80 58 08 fe fe 01 00 00 00 00 00 34 12");
    EXPECT_EQ(f.output.lines.back(), en(FileMessage::Succeed));

    // Without data words the file is exactly 8N bytes.
    f.conversion.image.records.back()[2] = 0;
    f.conversion.image.dataWords.clear();
    ASSERT_TRUE(f.commands.generateBinaryFile(f.path("Ladbin.dat")));
    EXPECT_EQ(f.read("Ladbin.dat").size(), 16);

    // An image whose terminator does not match its data is refused, nothing written.
    f.conversion.image.dataWords = {1, 2};
    EXPECT_FALSE(f.commands.generateBinaryFile(f.path("bad.dat")));
    EXPECT_FALSE(QFileInfo::exists(f.path("bad.dat")));

    ASSERT_TRUE(f.commands.generateInstructionList(f.path("demo.txt")));
    EXPECT_EQ(f.read("demo.txt"), "RD        X010.3    \r\nWRT       Y000.0 \r\n");
}

TEST(LadderCommands, LadderFileOutputsBothVersions)
{
    Fixture f;
    f.doc.editLadder.clear();
    LadderRow tmr = contactCoilRow("X000.0", "Y000.0");
    tmr[4].code = blockCellCode(fn::TMR, 0, 0);
    tmr[4].setText("TMR");
    tmr[5].code = blockCellCode(fn::TMR, 0, 1);
    tmr[5].setText("0005");
    LadderRow lower;
    lower[4].code = blockCellCode(fn::TMR, 1, 0);
    lower[5].code = blockCellCode(fn::TMR, 1, 1);
    f.doc.editLadder.appendLoadedLine(tmr);
    f.doc.editLadder.appendLoadedLine(lower);
    f.convertOk();

    ASSERT_TRUE(f.commands.generateLadderFile(f.path("new.grp")));
    EXPECT_EQ(f.read("new.grp").size(), fileformat::kHeaderBytes + 2 * fileformat::kLineBytes);
    ASSERT_TRUE(f.commands.generateOldLadderFile(f.path("old.grp")));
    EXPECT_EQ(f.read("old.grp").size(), fileformat::kHeaderBytes + 1 * fileformat::kLineBytes);

    Fixture g;
    ASSERT_TRUE(g.commands.open(f.path("old.grp")));
    ASSERT_EQ(g.doc.editLadder.lineCount(), 2);
    EXPECT_EQ(g.doc.editLadder.line(1), f.doc.editLadder.line(1));

    // MOVB cannot go into a version 1.0 file; the refusal leaves no file behind.
    f.doc.editLadder.mutableLine(0)->cells[4].code = blockCellCode(fn::MOVB, 0, 0);
    f.convertOk();
    f.prompter.shown.clear();
    f.output.lines.clear();
    EXPECT_FALSE(f.commands.generateOldLadderFile(f.path("refused.grp")));
    EXPECT_FALSE(QFileInfo::exists(f.path("refused.grp")));
    ASSERT_EQ(f.prompter.shown.size(), 1u);
    EXPECT_EQ(f.prompter.shown[0], en(FileMessage::UnlawfulInstruction));
    const std::vector<QString> said{en(FileMessage::CannotOutputFile), en(FileMessage::OldLadderFailed)};
    EXPECT_EQ(f.output.lines, said);
    EXPECT_EQ(f.doc.exportCopy.lineCount(), 0);
}

TEST(LadderCommands, NotationExportAndImport)
{
    Fixture f;
    f.doc.comments.mCodes.set(5, 263);
    f.doc.comments.setCommentOf("F026.3", QStringLiteral("主轴定向"));
    f.doc.comments.setCommentOf("Y001.2", "lamp");
    ASSERT_TRUE(f.commands.exportNotation(f.path("LadChi01.txt")));
    EXPECT_EQ(f.output.lines.back(), en(FileMessage::NoteSaved));

    Fixture g;
    ASSERT_TRUE(g.commands.importNotation(f.path("LadChi01.txt")));
    EXPECT_EQ(g.doc.comments.mCodes.at(5), 263);
    EXPECT_EQ(g.doc.comments.commentOf("F026.3"), QStringLiteral("主轴定向"));
    EXPECT_EQ(g.doc.comments.commentOf("Y001.2"), "lamp");
    EXPECT_EQ(g.output.lines.back(), en(FileMessage::NoteLoaded));

    EXPECT_FALSE(g.commands.importNotation(g.path("missing.txt")));
    ASSERT_EQ(g.prompter.shown.size(), 1u);
    EXPECT_EQ(g.prompter.shown[0], en(FileMessage::CannotOpenFile));
    // The default file at load time is read silently, present or not.
    g.prompter.shown.clear();
    EXPECT_FALSE(g.commands.importNotation(QString()));
    EXPECT_TRUE(g.prompter.shown.empty());

    EXPECT_FALSE(f.commands.exportNotation(f.path("no-such-dir/x.txt")));
    EXPECT_TRUE(f.prompter.shown.back().startsWith(en(FileMessage::CannotOpenFile))) << f.prompter.shown.back().toStdString();
}

// ---------------------------------------------------------------- a full or failing disk

namespace {

struct DiskPoint {
    const char* name;
    vantor::FileFault::Step step;
    int error;
    qint64 after;
};

const DiskPoint kDiskPoints[] = {
    {"before the first byte", vantor::FileFault::Step::Write, ENOSPC, 0},
    {"in the middle", vantor::FileFault::Step::Write, ENOSPC, 10},
    {"failing in the middle", vantor::FileFault::Step::Write, EIO, 5},
    {"at fsync", vantor::FileFault::Step::Sync, ENOSPC, 0},
    {"at rename", vantor::FileFault::Step::Rename, EIO, 0},
};

bool anyContains(const std::vector<QString>& v, const QString& part)
{
    return std::any_of(v.begin(), v.end(), [&](const QString& s) { return s.contains(part); });
}

QStringList entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

}  // namespace

// The only copy of a machine's ladder: a save the disk did not take leaves the file as it
// was, the document modified under its old name, and says why; never "File has saved.".
TEST(LadderCommandsFullDisk, SaveAndSaveAsKeepTheFileAndTheDocumentModified)
{
    for (const DiskPoint& p : kDiskPoints) {
        SCOPED_TRACE(p.name);
        Fixture f;
        f.doc.editLadder.clear();
        f.doc.editLadder.appendLoadedLine(contactCoilRow("X000.1", "Y000.1"));
        ASSERT_TRUE(f.commands.save(f.path("a.plf")));
        const QByteArray before = f.read("a.plf");
        f.doc.editLadder.appendLoadedLine(contactCoilRow("X000.2", "Y000.2"));
        f.doc.setModified(true);
        for (const char* target : {"a.plf", "b.plf"}) {   // Save, then Save As
            f.output.lines.clear();
            f.prompter.shown.clear();
            vantor::ScopedFileFault fault({p.step, p.error, p.after, f.dir.path()});
            EXPECT_FALSE(f.commands.save(f.path(target))) << target;
            EXPECT_TRUE(f.doc.isModified());
            EXPECT_EQ(f.doc.pathName, f.path("a.plf"));
            EXPECT_TRUE(contains(f.output.lines, en(FileMessage::SaveFileFail)));
            EXPECT_FALSE(contains(f.output.lines, en(FileMessage::FileSaved)));
            EXPECT_FALSE(contains(f.output.lines, en(FileMessage::NotationSaved)));
            EXPECT_TRUE(anyContains(f.output.lines, vantor::systemErrorText(p.error)));
            ASSERT_EQ(f.prompter.shown.size(), 1u);
            EXPECT_TRUE(f.prompter.shown[0].contains(vantor::systemErrorText(p.error))) << f.prompter.shown[0].toStdString();
            EXPECT_TRUE(f.prompter.shown[0].contains(QStringLiteral(".plf")));
        }
        EXPECT_EQ(f.read("a.plf"), before);
        EXPECT_EQ(entries(f.dir.path()), QStringList{QStringLiteral("a.plf")});
    }
}

// An empty Ladbin.dat could be sent to a controller: no output ever says "Succeed!" unless
// its bytes are on the disk, and an earlier output of that name is kept.
TEST(LadderCommandsFullDisk, OutputsAndNotationExportNeverClaimSuccess)
{
    using Command = bool (LadderFileCommands::*)(const QString&);
    const std::pair<const char*, Command> outputs[] = {
        {"Ladbin.dat", &LadderFileCommands::generateBinaryFile},
        {"demo.txt", &LadderFileCommands::generateInstructionList},
        {"Ladder.dat", &LadderFileCommands::generateLadderFile},
        {"Ladder.grp", &LadderFileCommands::generateOldLadderFile},
        {"LadChi01.txt", &LadderFileCommands::exportNotation},
    };
    for (const DiskPoint& p : kDiskPoints) {
        SCOPED_TRACE(p.name);
        Fixture f;
        f.doc.editLadder.clear();
        f.doc.editLadder.appendLoadedLine(contactCoilRow("X000.1", "Y000.1"));
        f.doc.comments.setCommentOf("Y000.1", QStringLiteral("lamp of the door, a long comment to fill bytes"));
        f.convertOk();
        for (const auto& [name, command] : outputs) {
            SCOPED_TRACE(name);
            f.write(name, "earlier output");
            f.output.lines.clear();
            f.prompter.shown.clear();
            vantor::ScopedFileFault fault({p.step, p.error, p.after, f.dir.path()});
            EXPECT_FALSE((f.commands.*command)(f.path(name)));
            EXPECT_FALSE(contains(f.output.lines, en(FileMessage::Succeed)));
            EXPECT_FALSE(contains(f.output.lines, en(FileMessage::NoteSaved)));
            EXPECT_TRUE(anyContains(f.prompter.shown, vantor::systemErrorText(p.error)));
            EXPECT_EQ(f.read(name), "earlier output");
        }
    }
}

// A disk that takes the bytes without complaint but does not keep them: the read-back
// catches it, the bad copy is removed and no success is claimed.
TEST(LadderCommandsFullDisk, OutputThatReadsBackWrongIsRemoved)
{
    Fixture f;
    f.convertOk();
    for (const char* name : {"Ladbin.dat", "demo.txt"}) {
        SCOPED_TRACE(name);
        f.output.lines.clear();
        f.prompter.shown.clear();
        vantor::ScopedFileFault fault({vantor::FileFault::Step::Corrupt, 0, 3, f.dir.path()});
        const bool ok = QLatin1String(name) == QLatin1String("Ladbin.dat") ? f.commands.generateBinaryFile(f.path(name))
                                                                          : f.commands.generateInstructionList(f.path(name));
        EXPECT_FALSE(ok);
        EXPECT_FALSE(contains(f.output.lines, en(FileMessage::Succeed)));
        ASSERT_EQ(f.prompter.shown.size(), 1u);
        EXPECT_EQ(f.prompter.shown[0], en(FileMessage::OutputMismatch).arg(QDir::toNativeSeparators(f.path(name))));
        EXPECT_FALSE(QFileInfo::exists(f.path(name)));
    }
}

// Diag.mea is the controller's own file and is not shipped: a ladder opened without one
// says so and, on the next line, names the folders it is looked for in, in either language.
TEST(LadderCommands, MissingDiagnosisFileSaysWhereTheControllersCopyGoes)
{
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        QTemporaryDir root;
        const QString user = root.filePath(QStringLiteral("home/vantor/rungpad"));
        const QString shared = root.filePath(QStringLiteral("share/vantor/rungpad"));
        ASSERT_TRUE(QDir().mkpath(user) && QDir().mkpath(shared));
        LadderDocument doc;
        FakeConversion conversion;
        vantor::ScriptedPrompter prompter;
        RecordingOutput output;
        FileCommandEnvironment env{prompter, output, language, root.path()};
        env.dataFolders = {user, shared, root.filePath(QStringLiteral("bin"))};
        LadderFileCommands commands{doc, conversion, env};
        const QString ladder = root.filePath(QStringLiteral("a.plf"));
        ASSERT_TRUE(vantor::saveFileAtomically(ladder, formatLadderPart(LadderProgram{}, {}, NumberField::FromText)).ok);

        ASSERT_TRUE(commands.open(ladder));
        const auto said = std::find(output.lines.begin(), output.lines.end(),
                                    fileMessage(FileMessage::CannotLoadMean, language));
        ASSERT_NE(said, output.lines.end());
        ASSERT_NE(said + 1, output.lines.end());
        EXPECT_EQ(*(said + 1), fileMessage(FileMessage::MeanFileWhere, language).arg(user + "/", shared + "/"));
        EXPECT_TRUE((said + 1)->contains(QStringLiteral("Diag.mea")));

        // The controller's file put into the shared folder is found; nothing more is said.
        ASSERT_TRUE(vantor::saveFileAtomically(shared + QStringLiteral("/Diag.mea"), "X0003     door\r\nend\r\n").ok);
        output.lines.clear();
        ASSERT_TRUE(commands.open(ladder));
        EXPECT_FALSE(contains(output.lines, fileMessage(FileMessage::CannotLoadMean, language)));
        EXPECT_EQ(doc.comments.commentOf("X000.3"), "door");
    }
}
