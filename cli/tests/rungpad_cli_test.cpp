// SPDX-License-Identifier: GPL-3.0-or-later
// rungpad-cli as a user runs it: real files in a temporary folder, the built binary.
#include "rungpad/files/fileformat.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"

#include "common/archive.h"
#include "common/gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "common/testing/diskfault.h"
#include "common/testing/testfiles.h"

#include <gtest/gtest.h>

using namespace rungpad;

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList& args, const QString& home)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);   // a settings store of its own
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    p.setProcessEnvironment(env);
    p.start(vantor::testing::programPath("rungpad-cli"), args);
    if (!p.waitForFinished(60000))
        return {-1, {}, p.errorString()};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()) + p.errorString()};
}

LadderRow wireRow()
{
    LadderRow row;
    for (int c = 0; c < kColumns; ++c)
        row[c].code = kHorizontalWire;
    return row;
}

LadderRow endRow(quint16 code, const char* name)
{
    LadderRow row = wireRow();
    row[4].code = code;
    row[4].setText(name);
    return row;
}

LadderRow contactCoil(const char* contact, const char* coil)
{
    LadderRow row = wireRow();
    row[0].code = kContactNO;
    row[0].setText(contact);
    row[9].code = kCoil;
    row[9].setText(coil);
    return row;
}

QByteArray ladderBytes(bool withEnd2, bool withTmr)
{
    LadderProgram p;
    p.clear();
    p.appendLoadedLine(contactCoil("X000.0", "Y000.0"));
    if (withTmr) {
        LadderRow first = contactCoil("X000.1", "Y000.1");
        first[4].code = blockCellCode(fn::TMR, 0, 0);
        first[4].setText("TMR");
        first[5].code = blockCellCode(fn::TMR, 0, 1);
        first[5].setText("0005");
        LadderRow second;
        second[4].code = blockCellCode(fn::TMR, 1, 0);
        second[5].code = blockCellCode(fn::TMR, 1, 1);
        p.appendLoadedLine(first);
        p.appendLoadedLine(second);
    }
    p.appendLoadedLine(endRow(fn::END1, "END1"));
    if (withEnd2)
        p.appendLoadedLine(endRow(fn::END2, "END2"));
    p.setNote(0, QStringLiteral("启动"));
    CommentTables t;
    t.setCommentOf("X000.0", QStringLiteral("启动按钮"));
    return formatLadderPart(p, {}, NumberField::FromText) + formatCommentRecords(p, t);
}

struct CliFixture : ::testing::Test {
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void write(const char* name, const QByteArray& bytes) const { ASSERT_TRUE(vantor::saveFileAtomically(path(name), bytes).ok); }
    QByteArray read(const char* name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    CliRun run(QStringList args) const { return runCli(args, dir.path()); }
};

}  // namespace

TEST_F(CliFixture, CheckReportsStepsOrTheErrorLine)
{
    write("good.plf", ladderBytes(true, false));
    write("noend2.plf", ladderBytes(false, false));
    CliRun good = run({"--lang", "en", "check", path("good.plf")});
    ASSERT_EQ(good.status, 0) << good.out.toStdString() << good.err.toStdString();
    EXPECT_TRUE(good.out.contains(QStringLiteral("steps: "))) << good.out.toStdString();

    CliRun bad = run({"--lang", "en", "check", path("noend2.plf")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.out.contains(QStringLiteral("error code: 1005"))) << bad.out.toStdString();
    CliRun badZh = run({"--lang", "zh", "check", path("noend2.plf")});
    EXPECT_TRUE(badZh.out.contains(QStringLiteral("错误代号"))) << badZh.out.toStdString();
}

TEST_F(CliFixture, ConvertWritesTheChosenOutputs)
{
    write("demo.plf", ladderBytes(true, true));
    CliRun r = run({"convert", path("demo.plf"), "--bin", path("Ladbin.dat"), "--list", path("demo.txt"), "--grp",
                 path("demo.grp"), "--old-grp", path("old.grp"), "--lang", "en"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QByteArray bin = read("Ladbin.dat");
    ASSERT_GE(bin.size(), 8);
    ASSERT_EQ(bin.size() % 8, 0);
    EXPECT_EQ(quint8(bin[bin.size() - 8]), 0xFE);
    EXPECT_EQ(quint8(bin[bin.size() - 7]), 0xFE);
    for (qsizetype i = 0; i + 8 < bin.size(); i += 8)
        EXPECT_EQ(quint8(bin[i + 2]) | (quint8(bin[i + 3]) << 8), i / 8);
    EXPECT_TRUE(read("demo.txt").startsWith("RD        X000.0"));
    EXPECT_TRUE(read("demo.txt").endsWith("\r\n"));
    EXPECT_EQ(read("demo.grp").size(), fileformat::kHeaderBytes + 5 * fileformat::kLineBytes);
    EXPECT_EQ(read("old.grp").size(), fileformat::kHeaderBytes + 4 * fileformat::kLineBytes);

    // The old version file comes back with its TMR block at full height.
    CliRun a = run({"dump", path("demo.grp")});
    CliRun b = run({"dump", path("old.grp")});
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.out, b.out) << a.out.toStdString() << b.out.toStdString();
}

TEST_F(CliFixture, RefusedExportLeavesNoFile)
{
    LadderProgram p;
    p.clear();
    LadderRow movb = contactCoil("X000.1", "Y000.1");
    movb[3].code = blockCellCode(fn::MOVB, 0, 0);
    movb[3].setText("MOVB");
    movb[4].code = blockCellCode(fn::MOVB, 0, 1);
    movb[4].setText("R0010");
    movb[5].code = blockCellCode(fn::MOVB, 0, 2);
    movb[5].setText("R0020");
    LadderRow lower;
    for (int c = 3; c < 6; ++c)
        lower[c].code = blockCellCode(fn::MOVB, 1, c - 3);
    p.appendLoadedLine(movb);
    p.appendLoadedLine(lower);
    p.appendLoadedLine(endRow(fn::END1, "END1"));
    p.appendLoadedLine(endRow(fn::END2, "END2"));
    write("movb.grp", formatLadderPart(p, {}, NumberField::FromText));
    CliRun r = run({"--lang", "en", "convert", path("movb.grp"), "--old-grp", path("old.grp")});
    EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("old.grp")));
}

TEST_F(CliFixture, CommentsExportImportAndSave)
{
    write("demo.plf", ladderBytes(true, false));
    CliRun e = run({"comments", "export", path("demo.plf"), path("LadChi01.txt")});
    ASSERT_EQ(e.status, 0) << e.err.toStdString();
    EXPECT_EQ(read("LadChi01.txt"), "%\r\nX0000     " + vantor::toGbk(QStringLiteral("启动按钮")) + "\r\nend\r\n");

    write("other.plf", ladderBytes(true, false).left(fileformat::kHeaderBytes + 3 * fileformat::kLineBytes));
    write("notes.txt", "M05 F0263 spindle\r\n%\r\nY0001     lamp end of run\r\nend\r\n");
    CliRun i = run({"comments", "import", path("other.plf"), path("notes.txt"), "--save"});
    ASSERT_EQ(i.status, 0) << i.out.toStdString() << i.err.toStdString();
    CliRun d = run({"dump", path("other.plf")});
    EXPECT_TRUE(d.out.contains(QStringLiteral("# notation Y000.1 lamp end of run"))) << d.out.toStdString();
    CliRun full = run({"dump", path("demo.plf")});
    EXPECT_TRUE(full.out.contains(QStringLiteral("X000.0 - - - - - - - - (Y000.0) ;启动"))) << full.out.toStdString();
    EXPECT_TRUE(full.out.contains(QStringLiteral("# notation X000.0 启动按钮"))) << full.out.toStdString();
    // The M code map lives in the notation file only; its F comment went into the .plf.
    EXPECT_TRUE(d.out.contains(QStringLiteral("# notation F026.3 spindle"))) << d.out.toStdString();
    EXPECT_FALSE(d.out.contains(QStringLiteral("Loading"))) << d.out.toStdString();
}

TEST_F(CliFixture, DamagedFilesAreRefusedAndLeftAlone)
{
    const QByteArray full = ladderBytes(true, false);
    write("cut.plf", full.left(fileformat::kHeaderBytes + 20));
    const QByteArray before = read("cut.plf");
    for (const char* verb : {"check", "dump"}) {
        CliRun r = run({"--lang", "en", verb, path("cut.plf")});
        EXPECT_EQ(r.status, 1) << verb;
        EXPECT_TRUE(r.err.contains(QStringLiteral("Can not open ladder file!"))) << r.err.toStdString();
    }
    CliRun s = run({"comments", "import", path("cut.plf"), path("x.txt"), "--save"});
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(read("cut.plf"), before);
    CliRun zh = run({"--lang", "zh", "check", path("missing.plf")});
    EXPECT_TRUE(zh.err.contains(QStringLiteral("无法打开梯形图文件!"))) << zh.err.toStdString();
}

TEST_F(CliFixture, LanguageComesFromTheFlagElseTheStoredSettingElseChinese)
{
    const QString english = QStringLiteral("Can not open ladder file!");
    const QString chinese = QStringLiteral("无法打开梯形图文件!");
    EXPECT_TRUE(run({"check", path("missing.plf")}).err.contains(chinese));

    const QString folder = dir.path() + QStringLiteral("/.config/Local AppWizard-Generated Applications");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile conf(folder + QStringLiteral("/Rungpad.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[VANTORQ5RUNGPAD]\nLANGUAGE=1\n");
    conf.close();
    EXPECT_TRUE(run({"check", path("missing.plf")}).err.contains(english));
    EXPECT_TRUE(run({"--lang", "zh", "check", path("missing.plf")}).err.contains(chinese));
}

TEST_F(CliFixture, UsageErrorsExitWithTwo)
{
    write("demo.plf", ladderBytes(true, false));
    const QList<QStringList> cases{
        {},
        {"frobnicate", path("demo.plf")},
        {"check"},
        {"check", path("demo.plf"), "extra"},
        {"--lang", "fr", "check", path("demo.plf")},
        {"convert", path("demo.plf"), "--bin"},
        {"convert", path("demo.plf"), "--zip", "x"},
        {"comments", "list", path("demo.plf")},
        {"comments", "export", path("demo.plf")},
    };
    for (const QStringList& args : cases)
        EXPECT_EQ(run(args).status, 2) << args.join(' ').toStdString();
}

TEST_F(CliFixture, HelpVersionAndTheUsualOptionForms)
{
    write("demo.plf", ladderBytes(true, false));
    CliRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* verb : {"check FILE", "convert FILE", "dump FILE", "comments export", "comments import"})
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(verb))) << verb;
    CliRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("rungpad-cli "))) << version.out.toStdString();

    CliRun verbHelp = run({"comments", "import", "--help"});
    EXPECT_EQ(verbHelp.status, 0);
    EXPECT_TRUE(verbHelp.out.startsWith(QStringLiteral("Usage: rungpad-cli comments import FILE LADCHI.txt")));
    EXPECT_TRUE(verbHelp.out.contains(QStringLiteral("--save")));

    // --opt=value, the language after the verb, and "--" before a file that looks like an option.
    CliRun eq = run({"convert", "--lang=en", path("demo.plf"), "--list=" + path("demo.txt")});
    EXPECT_EQ(eq.status, 0) << eq.err.toStdString();
    EXPECT_FALSE(read("demo.txt").isEmpty());
    write("-odd.plf", ladderBytes(true, false));
    QDir::setCurrent(dir.path());
    CliRun dashed = runCli({"check", "--", "-odd.plf"}, dir.path());
    EXPECT_EQ(dashed.status, 0) << dashed.err.toStdString();
    EXPECT_TRUE(dashed.out.contains(QStringLiteral("steps:")));
    // A usage error says what was wrong on stderr and leaves stdout empty.
    CliRun bad = run({"convert", path("demo.plf"), "--zip=x"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains(QStringLiteral("zip"))) << bad.err.toStdString();
}

namespace {

QByteArray textLadder(const char* text)
{
    const auto p = readLadderText(QString::fromUtf8(text));
    if (!p)
        ADD_FAILURE() << "bad ladder text";
    CommentTables t;
    t.setCommentOf("Y000.0", QStringLiteral("主电机"));
    return p ? formatLadderPart(*p, {}, NumberField::FromText) + formatCommentRecords(*p, t) : QByteArray();
}

}  // namespace

// ---------------------------------------------------------------- a full or failing disk

namespace {

struct DiskCase {
    const char* name;
    vantor::testing::DiskFault fault;
    int error;
};

std::vector<DiskCase> diskCases(const QString& folder)
{
    return {
        {"before the first byte", {folder, "write", "ENOSPC", 0}, ENOSPC},
        {"in the middle", {folder, "write", "ENOSPC", 20}, ENOSPC},
        {"failing in the middle", {folder, "write", "EIO", 10}, EIO},
        {"at fsync", {folder, "fsync", "EIO", 0}, EIO},
        {"at close", {folder, "close", "EIO", 0}, EIO},
        {"at rename", {folder, "rename", "ENOSPC", 0}, ENOSPC},
    };
}

}  // namespace

TEST_F(CliFixture, XrefListsUsesAndWarningsAsTextAndCsv)
{
    write("twice.plf", textLadder("X000.0 - - - - - - - - (Y000.0)\n"
                                  "R000.1 - - - - - - - - (Y000.0)\n"
                                  "- - - - {7100:END1} - - - - -\n"));
    const CliRun text = run({"--lang", "en", "xref", path("twice.plf")});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.startsWith(QStringLiteral("Warnings\n"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("Y000.0 is written in more than one place (double coil): 0001/10, 0002/10")));
    EXPECT_TRUE(text.out.contains(QStringLiteral("R000.1 is read but never written: 0002/1")));
    EXPECT_TRUE(text.out.contains(QStringLiteral("Y000.0  主电机\n  0001/10  write  coil\n  0002/10  write  coil\n")));
    // Progress lines stay off the standard output, so a CSV is only CSV.
    EXPECT_FALSE(text.out.contains(QStringLiteral("load")));

    const CliRun csv = run({"--lang", "en", "xref", path("twice.plf"), "--csv"});
    ASSERT_EQ(csv.status, 0);
    const QStringList rows = csv.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(rows.value(0), QStringLiteral("address,comment,line,column,use,access"));
    EXPECT_TRUE(rows.contains(QStringLiteral("Y000.0,主电机,2,10,coil,write")));
    EXPECT_EQ(rows.filter(QStringLiteral("warning,")).size(), 2);
    const CliRun zh = run({"--lang", "zh", "xref", path("twice.plf")});
    EXPECT_TRUE(zh.out.contains(QStringLiteral("双线圈"))) << zh.out.toStdString();
    EXPECT_EQ(run({"xref", path("missing.plf")}).status, 1);
}

TEST_F(CliFixture, DiffShowsLinesAndExitsOneOnlyWhenTheLaddersDiffer)
{
    write("shop.plf", textLadder("X000.0 - - - - - - - - (Y000.0)\n"
                                 "X000.1 - - - - - - - - (Y000.1)\n"
                                 "X000.2 - - - - - - - - (Y000.2)\n"
                                 "- - - - {7100:END1} - - - - -\n"));
    write("backup.plf", textLadder("X000.0 - - - - - - - - (Y000.0)\n"
                                   "X000.2 - - - - - - - - (Y000.3)\n"
                                   "- - - - {7100:END1} - - - - -\n"
                                   "X000.5 - - - - - - - - (Y000.5)\n"));
    const CliRun d = run({"--lang", "en", "diff", path("shop.plf"), path("backup.plf")});
    EXPECT_EQ(d.status, 1) << d.err.toStdString();
    EXPECT_TRUE(d.out.contains(QStringLiteral("removed  0002 | ----\n  < X000.1 - - - - - - - - (Y000.1)\n")))
        << d.out.toStdString();
    EXPECT_TRUE(d.out.contains(QStringLiteral("changed  0003 | 0002  columns 10\n")));
    EXPECT_TRUE(d.out.contains(QStringLiteral("added  ---- | 0004\n")));
    EXPECT_TRUE(d.out.contains(QStringLiteral("1 lines added, 1 removed, 1 changed\n")));
    EXPECT_TRUE(d.out.contains(QStringLiteral("Addresses whose use changed: X000.1 X000.5 Y000.1 Y000.2 Y000.3 Y000.5\n")));

    const CliRun same = run({"--lang", "en", "diff", path("shop.plf"), path("shop.plf")});
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out, QStringLiteral("The two ladders are the same.\n"));
    EXPECT_EQ(run({"diff", path("shop.plf"), path("missing.plf")}).status, 2);
    EXPECT_EQ(run({"diff", path("shop.plf")}).status, 2);
}

// The real program under the fault library: `--save` and every output on a full disk exit 1,
// say the system's reason on stderr, never print "Succeed!" and keep the earlier files.
TEST_F(CliFixture, FullDiskExitsOneAndKeepsEveryEarlierFile)
{
    if (vantor::testing::diskFaultLibrary().isEmpty())
        GTEST_SKIP() << "the fault library was not built";
    const QString full = path("full");
    QDir().mkpath(full);
    const auto in = [&](const char* name) { return QDir(full).filePath(QString::fromLatin1(name)); };
    const QByteArray ladder = ladderBytes(true, true);
    vantor::testing::writeFile(in("demo.plf"), ladder);
    vantor::testing::writeFile(path("notes.txt"), "%\r\nY0001     lamp end of run\r\nend\r\n");
    const char* outputs[] = {"Ladbin.dat", "demo.txt", "demo.grp", "old.grp"};
    for (const char* name : outputs)
        vantor::testing::writeFile(in(name), "earlier");
    const QStringList home{QStringLiteral("HOME=") + dir.path(), QStringLiteral("XDG_CONFIG_HOME=") + path(".config")};

    for (const DiskCase& c : diskCases(full)) {
        SCOPED_TRACE(c.name);
        const QString reason = vantor::systemErrorText(c.error);
        auto r = vantor::testing::runProgramOnFaultyDisk(
            "rungpad-cli", {"--lang", "en", "comments", "import", in("demo.plf"), path("notes.txt"), "--save"}, dir.path(),
            c.fault, home);
        EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(reason)) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("File has saved."))) << r.out.toStdString();
        EXPECT_EQ(vantor::testing::readFile(in("demo.plf")), ladder);

        r = vantor::testing::runProgramOnFaultyDisk("rungpad-cli",
                                                    {"--lang", "en", "convert", in("demo.plf"), "--bin", in("Ladbin.dat"), "--list",
                                                     in("demo.txt"), "--grp", in("demo.grp"), "--old-grp", in("old.grp")},
                                                    dir.path(), c.fault, home);
        EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(reason)) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("Succeed!"))) << r.out.toStdString();
        for (const char* name : outputs)
            EXPECT_EQ(vantor::testing::readFile(in(name)), "earlier") << name;
        EXPECT_EQ(vantor::testing::filesIn(full), (QStringList{"Ladbin.dat", "demo.grp", "demo.plf", "demo.txt", "old.grp"}));
    }
    // The same commands with room on the disk work, so the failures above were the disk's.
    auto r = vantor::testing::runProgramOnFaultyDisk("rungpad-cli", {"--lang", "en", "convert", in("demo.plf"), "--bin", in("Ladbin.dat")},
                                                     dir.path(), {QString(), "write", "ENOSPC", 0}, home);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_NE(vantor::testing::readFile(in("Ladbin.dat")), "earlier");
}
