// SPDX-License-Identifier: GPL-3.0-or-later
// The whole-program cross-reference on a hand-made ladder holding every warning kind, and
// the comparison of two ladders: alignment, cell marks, summary, and that any two ladders
// give a script that walks both of them exactly once.
#include "rungpad/model/laddertext.h"
#include "rungpad/review/crossreference.h"
#include "rungpad/review/ladderdiff.h"

#include <QCryptographicHash>
#include <QStringList>

#include <gtest/gtest.h>

#include <random>

using namespace rungpad;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

LadderProgram ladder(const char* text)
{
    LadderTextError e;
    auto p = readLadderText(s(text), &e);
    if (!p)
        ADD_FAILURE() << "bad ladder text at " << e.textLine << ": " << e.message.toStdString();
    return p ? *p : LadderProgram{};
}

// Every warning kind once, and the uses that must not warn: inputs read, a data word read,
// a relay bit read that a block writes as a whole byte.
const char* kWarningLadder =
    "X000.0 - - - - - - - - (Y000.0) ;motor\n"                                        // 1
    "X000.1 - - - - - - - - (Y000.0)\n"                                               // 2 double coil
    "R000.1 - - - {3600:SET} {3601:R000.2} - - - -\n"                                 // 3 SET only; R000.1 unwritten
    "X000.2 - - - {3500:RST} {3501:R000.3} - - - -\n"                                 // 4 RST only
    "X000.3 - - - {1900:TMR} {1901:0005} - - - (R000.4)\n"                            // 5
    ". . . . {1910} {1911}\n"                                                         // 6
    "X000.4 - - - {1900:TMR} {1901:0005} - - - (R000.5)\n"                            // 7 timer 5 again
    ". . . . {1910} {1911}\n"                                                         // 8
    "X007.0 - - - - - - - - (Y000.6)\n"                                               // 9 X007 has no comment area
    "R000.4 - {2000:ADD} {2001:0002} {2002:D0010} {2003:00001} {2004:D0020} - - (R000.7)\n"   // 10
    "- - {2010} {2011} {2012} {2013} {2014}\n"                                        // 11
    "R010.3 - - {1300:MOVN} {1301:0001} {1302:D0010} {1303:R0010} - - (R000.6)\n"     // 12
    ". . . {1310} {1311} {1312} {1313}\n"                                             // 13
    "- - - - {7100:END1} - - - - -\n";

TEST(ProgramCrossReference, ListsEveryUseWithItsCommentAndAccess)
{
    CommentTables comments;
    comments.setCommentOf("Y000.0", s("conveyor motor 输送带"));
    const ProgramCrossReference x = buildProgramCrossReference(ladder(kWarningLadder), comments);

    struct Case {
        const char* address;
        int reads, writes;
        const char* comment;
    };
    const Case cases[] = {
        {"Y000.0", 0, 2, "conveyor motor 输送带"}, {"X000.0", 1, 0, ""}, {"R000.2", 0, 1, ""},
        {"R000.4", 1, 1, ""},                       {"D0010", 2, 0, ""}, {"D0020", 0, 1, ""},
        {"R0010", 0, 1, ""},                        {"R010.3", 1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const AddressEntry* e = x.find(c.address);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->reads(), c.reads);
        EXPECT_EQ(e->writes(), c.writes);
        EXPECT_EQ(e->comment, s(c.comment));
    }
    // Timer numbers and the block's name are numbers and names, not addresses.
    EXPECT_EQ(x.find("TMR"), nullptr);
    EXPECT_EQ(x.numbers.size(), 2u);
    // Uses carry their places and kinds; the ADD result is a block write at column 7.
    const AddressEntry* sum = x.find("D0020");
    ASSERT_NE(sum, nullptr);
    EXPECT_EQ(sum->uses[0].line, 9);
    EXPECT_EQ(sum->uses[0].column, 6);
    EXPECT_EQ(useText(sum->uses[0], 1), s("ADD writes"));
    // Sorted: inputs before outputs before relays before data words.
    std::vector<QByteArray> order;
    for (const AddressEntry& e : x.entries)
        order.push_back(e.address.prefix);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), [](const QByteArray& a, const QByteArray& b) {
        const QByteArray rank = "XYFGRKATCD";
        return rank.indexOf(a[0]) < rank.indexOf(b[0]);
    }));
}

TEST(ProgramCrossReference, FlagsEachWarningKindOnceAndNothingElse)
{
    const ProgramCrossReference x = buildProgramCrossReference(ladder(kWarningLadder), {});
    struct Expected {
        WarningKind kind;
        const char* subject;
        std::vector<Place> places;
    };
    const Expected expected[] = {
        {WarningKind::WrittenTwice, "Y000.0", {{0, 9}, {1, 9}}},
        {WarningKind::SetWithoutReset, "R000.2", {{2, 5}}},
        {WarningKind::ResetWithoutSet, "R000.3", {{3, 5}}},
        {WarningKind::ReadNeverWritten, "R000.1", {{2, 0}}},
        {WarningKind::NumberTwice, "5", {{4, 5}, {6, 5}}},
        {WarningKind::OutsideCommentArea, "X007.0", {{8, 0}}},
    };
    ASSERT_EQ(x.warnings.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].subject);
        EXPECT_EQ(x.warnings[i].kind, expected[i].kind);
        EXPECT_EQ(x.warnings[i].subject, QByteArray(expected[i].subject));
        EXPECT_EQ(x.warnings[i].places, expected[i].places);
    }
    EXPECT_EQ(warningText(x.warnings[0], 1), s("Y000.0 is written in more than one place (double coil): 0001/10, 0002/10"));
    EXPECT_EQ(warningText(x.warnings[4], 1), s("timer 5 is used more than once: 0005/6, 0007/6"));
    EXPECT_TRUE(warningText(x.warnings[0], 0).contains(s("双线圈")));
    EXPECT_TRUE(warningText(x.warnings[3], 0).contains(s("从未写入")));
}

TEST(ProgramCrossReference, CoilWithSetAndSharedTimerTablesAreCaught)
{
    // A coil and a SET on one relay is a double write; TMR and TMRC share their numbers,
    // TMRB keeps its own; DIFU and DIFD share the edge numbers.
    const char* text =
        "X000.0 - - - - - - - - (R001.0)\n"
        "X000.1 - - - {3600:SET} {3601:R001.0} - - - -\n"
        "X000.1 - - - {3500:RST} {3501:R001.0} - - - -\n"
        "X000.2 - - {4200:TMRC} {4201:0001} {4202:0007} - - - (R002.0)\n"
        ". . . {4210} {4211} {4212}\n"
        "X000.3 - - - {1900:TMR} {1901:0007} - - - (R002.1)\n"
        ". . . . {1910} {1911}\n"
        "X000.4 - - {4100:TMRB} {4101:0001} {4102:0007} {4103:0100} - - (R002.2)\n"
        ". . . {4110} {4111} {4112} {4113}\n"
        "X000.5 - - - {2700:DIFU} {2701:0003} - - - (R003.0)\n"
        "X000.6 - - - {2800:DIFD} {2801:0003} - - - (R003.1)\n";
    const ProgramCrossReference x = buildProgramCrossReference(ladder(text), {});
    std::vector<std::pair<WarningKind, QByteArray>> got;
    for (const XrefWarning& w : x.warnings)
        got.emplace_back(w.kind, w.subject + (w.kind == WarningKind::NumberTwice ? QByteArray::number(int(w.numberKind)) : ""));
    const std::vector<std::pair<WarningKind, QByteArray>> want = {
        {WarningKind::WrittenTwice, "R001.0"},
        {WarningKind::NumberTwice, "7" + QByteArray::number(int(NumberKind::Timer))},
        {WarningKind::NumberTwice, "3" + QByteArray::number(int(NumberKind::Edge))},
    };
    EXPECT_EQ(got, want);
}

TEST(ProgramCrossReference, ReportAndCsvCarryTheSameRows)
{
    CommentTables comments;
    comments.setCommentOf("Y000.0", s("motor, main"));
    const ProgramCrossReference x = buildProgramCrossReference(ladder(kWarningLadder), comments);
    const QString csv = formatCrossReferenceCsv(x, 1);
    const QStringList rows = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(rows.value(0), s("address,comment,line,column,use,access"));
    EXPECT_TRUE(rows.contains(s("Y000.0,\"motor, main\",1,10,coil,write")));
    EXPECT_TRUE(rows.contains(s("D0010,,10,5,ADD reads,read")));
    int uses = 0;
    for (const AddressEntry& e : x.entries)
        uses += int(e.uses.size());
    EXPECT_EQ(rows.size(), 1 + uses + int(x.warnings.size()));
    const QString report = formatCrossReference(x, 0);
    EXPECT_TRUE(report.startsWith(s("警告\n")));
    EXPECT_TRUE(report.contains(s("Y000.0  motor, main\n  0001/10  写  线圈\n")));
}

TEST(LadderAddressText, ParsesWhatTheCellsHold)
{
    struct Case {
        const char* text;
        const char* canonical;   // nullptr: not an address
    };
    const Case cases[] = {
        {"X012.3", "X012.3"}, {"D0010", "D0010"}, {"DC0003", "DC0003"}, {"R999.7", "R999.7"},
        {"X012.8", nullptr},  {"0005", nullptr},   {"TMR", nullptr},     {"", nullptr},
        {"Q001.0", nullptr},  {"X12345", nullptr}, {"x001.2", "X001.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto a = parseLadderAddress(c.text);
        if (!c.canonical) {
            EXPECT_FALSE(a.has_value());
        } else {
            ASSERT_TRUE(a.has_value());
            EXPECT_EQ(a->text(), QByteArray(c.canonical));
        }
    }
}

// Every answer of the parser over a sweep of cell texts, folded into one digest recorded from
// the parser as it stood; a change in any single answer shows here.
TEST(LadderAddressText, AnswersOverASweepStayAsRecorded)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    int parsed = 0;
    for (const char* prefix : {"", "A", "B", "C", "D", "DC", "DT", "F", "G", "H", "K", "R", "T", "X", "Y", "Z", "d",
                               "dc", "dt", "Dc", "x", "r", "1", "."}) {
        for (const char* digits : {"", "0", "5", "12", "127", "0010", "9999", "12345", "-1", "+1", " 1", "1a"}) {
            for (const char* tail : {"", ".", ".0", ".7", ".8", ".9", ".a", ".12", "..1", "x", " "}) {
                const QByteArray text = QByteArray(prefix) + digits + tail;
                const auto a = parseLadderAddress(text);
                h.addData(text + ':');
                if (a) {
                    ++parsed;
                    h.addData(a->prefix + ',' + QByteArray::number(a->byte) + ',' + QByteArray::number(a->bit));
                }
                h.addData("\n");
            }
        }
    }
    EXPECT_GT(parsed, 200);
    EXPECT_EQ(h.result().toHex(), QByteArray("b8382671b4a72ad418a82b8531eceb98f140d013"));
}

// ---------------------------------------------------------------------------------------

const char* kShopCopy =
    "X000.0 - - - - - - - - (Y000.0) ;start\n"
    "X000.1 - - - - - - - - (Y000.1)\n"
    "X000.2 - - - - - - - - (Y000.2)\n"
    "X000.3 - - - - - - - - (Y000.3)\n"
    "- - - - {7100:END1} - - - - -\n";
// Line 2 removed, line 4's contact changed to a closed one on X001.3, a line added at the end.
const char* kBackup =
    "X000.0 - - - - - - - - (Y000.0) ;start\n"
    "X000.2 - - - - - - - - (Y000.2)\n"
    "/X001.3 - - - - - - - - (Y000.3)\n"
    "- - - - {7100:END1} - - - - -\n"
    "X000.5 - - - - - - - - (Y000.5)\n";

TEST(LadderDiff, AddedRemovedAndChangedLinesAlign)
{
    const LadderProgram a = ladder(kShopCopy);
    const LadderProgram b = ladder(kBackup);
    const LadderDiff d = diffLadders(a, b);
    struct Row {
        DiffKind kind;
        int left, right;
        quint16 cells;
    };
    const Row want[] = {
        {DiffKind::Same, 0, 0, 0},        {DiffKind::Removed, 1, -1, 0}, {DiffKind::Same, 2, 1, 0},
        {DiffKind::Changed, 3, 2, 0x001}, {DiffKind::Same, 4, 3, 0},     {DiffKind::Added, -1, 4, 0},
    };
    ASSERT_EQ(d.rows.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d.rows[i].kind, want[i].kind);
        EXPECT_EQ(d.rows[i].left, want[i].left);
        EXPECT_EQ(d.rows[i].right, want[i].right);
        EXPECT_EQ(d.rows[i].cells, want[i].cells);
    }
    EXPECT_EQ(d.added, 1);
    EXPECT_EQ(d.removed, 1);
    EXPECT_EQ(d.changed, 1);
    EXPECT_EQ(d.differences(), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(d.addresses, (std::vector<QByteArray>{"X000.1", "X000.3", "X000.5", "X001.3", "Y000.1", "Y000.5"}));
    EXPECT_EQ(diffSummary(d, 1), s("1 lines added, 1 removed, 1 changed"));
    const QString text = formatDiff(d, a, b, 1);
    EXPECT_TRUE(text.contains(s("changed  0004 | 0003  columns 1\n  < X000.3 - - - - - - - - (Y000.3)\n"
                                "  > /X001.3 - - - - - - - - (Y000.3)\n")));
    EXPECT_TRUE(text.contains(s("removed  0002 | ----\n")));
    EXPECT_TRUE(text.contains(s("added  ---- | 0005\n")));
}

TEST(LadderDiff, NotesLinksAndSameLadders)
{
    const LadderProgram a = ladder("X000.0 - - (Y000.0) ;old note\nX000.1 - - (Y000.1)\n");
    const LadderProgram b = ladder("X000.0 - - (Y000.0) ;new note\nX000.1+ - - (Y000.1)\n");
    const LadderDiff d = diffLadders(a, b);
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.rows[0].cells, DiffRow::kNoteBit);
    EXPECT_EQ(d.rows[1].cells, 0x001);
    EXPECT_TRUE(diffLadders(a, a).same());
    // Bytes behind a text's terminator (older files keep them) are no difference.
    LadderProgram leftovers = a;
    LadderCell& cell = leftovers.mutableLine(1)->cells[1];
    cell.textBytes[3] = 'Z';
    ASSERT_EQ(cell.text(), QByteArray());
    EXPECT_TRUE(diffLadders(a, leftovers).same());
    EXPECT_EQ(diffSummary(diffLadders(a, a), 0), s("两个梯形图相同。"));
    EXPECT_TRUE(diffLadders(LadderProgram{}, LadderProgram{}).same());
    EXPECT_EQ(diffLadders(LadderProgram{}, a).added, 2);
}

// Any two ladders: the rows walk each ladder's lines once, in order, and only equal lines
// are called the same; a line left alone is never reported. Unrelated ladders large enough
// to pass the search's bound still give a true script.
TEST(LadderDiff, RowsWalkBothLaddersInOrderForAnyInput)
{
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const int n = round < 38 ? int(random() % 60) : 3000;
        const int alphabet = round < 38 ? 6 : 3000;
        auto make = [&](int count) {
            QString text;
            for (int i = 0; i < count; ++i)
                text += QStringLiteral("R%1.%2 - - (Y000.0)\n").arg(int(random() % alphabet) / 8, 3, 10, QLatin1Char('0')).arg(int(random() % 8));
            return text.isEmpty() ? LadderProgram{} : ladder(text.toUtf8().constData());
        };
        const LadderProgram a = make(n);
        const LadderProgram b = make(round < 38 ? int(random() % 60) : 2900);
        const LadderDiff d = diffLadders(a, b);
        int nextLeft = 0, nextRight = 0, same = 0;
        for (const DiffRow& r : d.rows) {
            if (r.left >= 0) {
                ASSERT_EQ(r.left, nextLeft++);
            }
            if (r.right >= 0) {
                ASSERT_EQ(r.right, nextRight++);
            }
            if (r.kind == DiffKind::Same) {
                ++same;
                ASSERT_EQ(lineText(a, r.left), lineText(b, r.right));
            }
            if (r.kind == DiffKind::Changed) {
                ASSERT_NE(r.cells, 0);
            }
        }
        EXPECT_EQ(nextLeft, a.lineCount());
        EXPECT_EQ(nextRight, b.lineCount());
        EXPECT_EQ(same + d.removed + d.changed, a.lineCount());
        EXPECT_EQ(same + d.added + d.changed, b.lineCount());
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------

#include "rungpad/review/annotations.h"
#include "rungpad/review/autosave.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(Annotations, CommentsLabelsAndTooltipsOfCells)
{
    const LadderProgram p = ladder(
        "X000.0 - - - {1000:CTR} {1001:0003} - - - (R010.0) ;part counter that counts the parts before the gauge\n"
        "X000.3 - - - {1010} {1011}\n"
        "R010.1 - - - {1020} {1021}\n"
        "X000.4 - - - {1030} {1031}\n"
        "X001.0 - - {1200:COMP} {1201:0002} {1202:00100} {1203:D0010} - - (R010.2)\n"
        ". . . {1210} {1211} {1212} {1213}\n");
    CommentTables comments;
    comments.setCommentOf("X000.0", s("part sensor at the gauge station"));
    comments.setCommentOf("R010.0", s("计数到"));
    struct Case {
        int line, column, language;
        const char* tip;
    };
    const Case cases[] = {
        {0, 0, 1, "X000.0\npart sensor at the gauge station"},
        {0, 9, 0, "R010.0\n计数到"},
        {1, 0, 1, "X000.3"},                      // no comment: the address alone
        {0, 5, 1, "CTR No: 0003"},
        {0, 5, 0, "计数器号: 0003"},
        {4, 5, 1, "inpute data addr: 00100"},
        {4, 6, 1, "compare data addr: D0010"},
        {1, 4, 1, "CTR UP/DN"},
        {3, 4, 1, "CTR ACT"},
        {2, 2, 1, "CTR RST"},                     // the wire feeding the input
        {5, 1, 1, ""},                            // below COMP's single input: nothing
        {9, 0, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tip);
        EXPECT_EQ(cellToolTip(p, comments, c.line, c.column, c.language), s(c.tip));
    }
    EXPECT_EQ(cellComment(p.cell(0, 0), comments), s("part sensor at the gauge station"));
    EXPECT_EQ(cellComment(p.cell(0, 5), comments), QString());
    EXPECT_EQ(blockInputLabel(fn::CTR, 0), s("INIT"));
    EXPECT_EQ(blockInputLabel(fn::TMR, 0), s("ACT"));
    EXPECT_EQ(blockInputLabel(fn::TMR, 1), QString());      // its second line is no input
    EXPECT_EQ(blockInputLabel(fn::DSCH, 0), s("IN1"));
    EXPECT_EQ(blockInputLabel(fn::DSCH, 2), s("ACT"));
    EXPECT_EQ(blockInputLabel(fn::SP, 0), QString());       // runs unconditionally
}

TEST(AutosaveSchedule, ACopyIsDueOneIntervalAfterTheFirstChange)
{
    AutosaveSchedule schedule(60000);
    const quintptr a = 1, b = 2;
    schedule.modified(a, 1000);
    schedule.modified(a, 50000);   // still waiting since 1000
    schedule.modified(b, 30000);
    EXPECT_TRUE(schedule.due(60999).empty());
    EXPECT_EQ(schedule.due(61000), (std::vector<quintptr>{a}));
    EXPECT_FALSE(schedule.waiting(a));
    EXPECT_TRUE(schedule.due(89999).empty());
    schedule.modified(a, 70000);
    schedule.clear(b);             // saved before its turn
    EXPECT_TRUE(schedule.due(120000).empty());
    EXPECT_EQ(schedule.due(130000), (std::vector<quintptr>{a}));
}

TEST(AutosaveStore, CopiesOfAnEndedSessionAreLeftOversOfARunningOneAreNot)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(s("autosave"));
    const QDateTime t(QDate(2026, 3, 1), QTime(10, 0));
    QString crashedKey;
    {
        AutosaveStore crashed(folder);
        crashedKey = crashed.newKey();
        ASSERT_TRUE(crashed.write(crashedKey, "ladder bytes", s("/shop/press.plf"), s("press.plf"), t,
                                  stampOfBytes("as read")).ok);
        const QString savedKey = crashed.newKey();
        ASSERT_TRUE(crashed.write(savedKey, "other", QString(), s("Untitled 2"), t.addSecs(60)).ok);
        crashed.remove(savedKey);
        // The session ends without cleaning up, as a crash does.
    }
    AutosaveStore running(folder);
    const QString mine = running.newKey();
    ASSERT_TRUE(running.write(mine, "mine", QString(), s("Untitled 1"), t).ok);

    AutosaveStore next(folder);
    const auto left = next.leftovers();
    ASSERT_EQ(left.size(), 1u);   // the running session's copy is not offered
    EXPECT_EQ(left[0].key, crashedKey);
    EXPECT_EQ(left[0].originalPath, s("/shop/press.plf"));
    EXPECT_EQ(left[0].displayName, s("press.plf"));
    EXPECT_EQ(left[0].savedAt, t);
    EXPECT_EQ(left[0].originalStamp, stampOfBytes("as read"));
    QFile f(left[0].ladderFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("ladder bytes"));
    next.remove(crashedKey);
    EXPECT_TRUE(next.leftovers().empty());
    // Nothing is ever written outside the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{s("autosave")});
}

TEST(FileStamp, ChangesWithTheBytesNotWithTheClock)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(s("a.plf"));
    EXPECT_FALSE(stampOf(path).exists);
    ASSERT_TRUE(vantor::saveFileAtomically(path, "one").ok);
    const FileStamp first = stampOf(path);
    EXPECT_EQ(first, stampOfBytes("one"));
    ASSERT_TRUE(vantor::saveFileAtomically(path, "one").ok);
    EXPECT_EQ(stampOf(path), first);
    ASSERT_TRUE(vantor::saveFileAtomically(path, "two").ok);
    EXPECT_NE(stampOf(path), first);
}

}  // namespace
