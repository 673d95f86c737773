// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/bytes.h"
#include "rungpad/files/fileformat.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/files/notationtext.h"

#include "common/gbk.h"

#include <gtest/gtest.h>

#include <random>

using namespace rungpad;

namespace {

void putU16(QByteArray& b, quint16 v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
void putU32(QByteArray& b, quint32 v)
{
    for (int s = 0; s < 32; s += 8)
        b.append(char((v >> s) & 0xFF));
}
QByteArray fixed(const QByteArray& text, int width)
{
    QByteArray f = text.left(width);
    f.append(QByteArray(width - f.size(), '\0'));
    return f;
}

// A hand-built ladder part: the header, then lines of cells given as (code, link, number, text).
struct HandCell {
    quint16 code;
    quint16 link;
    qint16 number;
    QByteArray text;
};
QByteArray handLadder(quint16 countWord, const std::vector<std::vector<HandCell>>& lines)
{
    QByteArray b;
    putU16(b, countWord);
    putU16(b, 3);
    putU16(b, 42);
    putU16(b, 7);
    b += fixed("V2.1", 15) + fixed("lathe", 40) + fixed("wang", 20) + fixed("2024-05-01 10:20", 25);
    for (const auto& line : lines) {
        for (int c = 0; c < kColumns; ++c) {
            const HandCell cell = c < int(line.size()) ? line[size_t(c)] : HandCell{0, 0, -1, {}};
            putU16(b, cell.code);
            putU16(b, cell.link);
            putU16(b, quint16(cell.number));
            b += fixed(cell.text, 7);
        }
    }
    return b;
}

QByteArray record(quint16 tag, quint32 index, const QByteArray& text)
{
    QByteArray b;
    putU16(b, tag);
    putU32(b, index);
    putU16(b, quint16(text.size()));
    return b + text;
}

LadderRow rowOf(std::initializer_list<std::pair<quint16, const char*>> cells)
{
    LadderRow row;
    int c = 0;
    for (const auto& [code, text] : cells) {
        row[c].code = code;
        row[c].setText(text);
        ++c;
    }
    return row;
}

LadderProgram programOf(const std::vector<LadderRow>& rows)
{
    LadderProgram p;
    p.clear();
    for (const auto& r : rows)
        p.appendLoadedLine(r);
    return p;
}

// A two-line TMR block (width 2, at column 4) with a contact in front and a coil behind.
std::vector<LadderRow> tmrRows()
{
    LadderRow first = rowOf({{kContactNO, "X000.0"}, {kHorizontalWire, ""}, {kHorizontalWire, ""}, {kHorizontalWire, ""},
                             {blockCellCode(fn::TMR, 0, 0), "TMR"}, {blockCellCode(fn::TMR, 0, 1), "0005"},
                             {kHorizontalWire, ""}, {kHorizontalWire, ""}, {kHorizontalWire, ""}, {kCoil, "Y000.0"}});
    LadderRow second;
    second[4].code = blockCellCode(fn::TMR, 1, 0);
    second[5].code = blockCellCode(fn::TMR, 1, 1);
    second[5].setText("junk");
    return {first, second};
}

}  // namespace

// A cell's text field holds seven bytes; the cell keeps what setText keeps of them.
TEST(LadderFile, CellTextFieldsKeepWhatSetTextKeeps)
{
    const QByteArray fields[] = {
        QByteArray("ABCDEFG", 7),          // no NUL: the seventh byte goes
        QByteArray("AB\0CD\0E", 7),       // bytes after the first NUL go
        QByteArray("\xB0\xA1\x80\xFF\x01\x7F\x80", 7),
        QByteArray("\0XYZ\0\0\0", 7),
        QByteArray(7, '\0'),
        QByteArray("\x01\0\0\0\0\0\x01", 7),
        QByteArray("ABCDE\0\xFF", 7),
    };
    std::vector<HandCell> line;
    for (const QByteArray& f : fields)
        line.push_back({kContactNO, 0, 0, f});
    const LadderFileContent content = parseLadderFile(handLadder(0, {line}), false);
    ASSERT_TRUE(content.ok());
    for (size_t c = 0; c < std::size(fields); ++c) {
        LadderCell expected;
        expected.setText(fields[c]);
        EXPECT_EQ(content.ladder.line(0)[int(c)].textBytes, expected.textBytes) << c;
    }
}

TEST(LadderFile, HandBuiltFileLoadsFieldByField)
{
    QByteArray bytes = handLadder(1, {{{kContactNO, 1, 12, "X012.3"}, {kHorizontalWire, 0, -1, ""}},
                                      {{blockCellCode(fn::CODT, 0, 0), 0, 5, "00012"}}});
    bytes += record(fileformat::kTagLineNote, 1, vantor::toGbk(QStringLiteral("第二行")));
    bytes += record(fileformat::kTagNotation, 512 * 8 + 3, "start");
    bytes += record(fileformat::kTagRelayNotation, 7999, vantor::toGbk(QStringLiteral("继电器")));

    LadderFileContent content = parseLadderFile(bytes, true);
    ASSERT_TRUE(content.ok());
    EXPECT_EQ(content.comments, CommentLoadResult::Loaded);
    const LadderProgram& p = content.ladder;
    ASSERT_EQ(p.lineCount(), 2);
    EXPECT_EQ(p.end1Line, 3);
    EXPECT_EQ(p.stepCount, 42);
    EXPECT_EQ(p.end1Step, 7);
    EXPECT_EQ(content.info.version, "V2.1");
    EXPECT_EQ(content.info.machine, "lathe");
    EXPECT_EQ(content.info.modifier, "wang");
    EXPECT_EQ(content.info.saveTime, "2024-05-01 10:20");
    EXPECT_EQ(p.cell(0, 0).code, kContactNO);
    EXPECT_EQ(p.cell(0, 0).verticalLink, 1);
    EXPECT_EQ(p.cell(0, 0).number, 12);
    EXPECT_EQ(p.cell(0, 0).text(), "X012.3");
    EXPECT_EQ(p.cell(0, 2).number, -1);
    // A CODT group at the very end keeps table rows 0.
    EXPECT_EQ(p.cell(1, 0).tableRows, 0);

    CommentTables tables;
    LadderProgram ladder = content.ladder;
    applyCommentRecords(content.records(), ladder, tables);
    EXPECT_EQ(ladder.note(1), QStringLiteral("第二行"));
    EXPECT_EQ(tables.notation.at(512 * 8 + 3), "start");
    EXPECT_EQ(tables.relay.at(7999), QStringLiteral("继电器"));
}

TEST(LadderFile, LineCountWordLimits)
{
    struct Case { quint16 word; int lines; bool ok; };
    const Case cases[] = {{0xFFFF, 0, true}, {0, 1, true}, {0x1387, 5000, true}, {0x1388, 5001, false}, {0x8000, 0, false}};
    for (const Case& c : cases) {
        std::vector<std::vector<HandCell>> lines(size_t(c.ok ? c.lines : 0));
        const QByteArray bytes = handLadder(c.word, lines);
        const LadderFileContent content = parseLadderFile(bytes, true);
        EXPECT_EQ(content.ok(), c.ok) << c.word;
        if (c.ok)
            EXPECT_EQ(content.ladder.lineCount(), c.lines) << c.word;
        else
            EXPECT_EQ(content.error, LadderLoadError::LineCount) << c.word;
    }
}

TEST(LadderFile, SavedBytesMatchTheHandBuiltLayout)
{
    LadderProgram p = programOf({rowOf({{kContactNO, "X012.3"}, {kHorizontalWire, ""}})});
    p.mutableLine(0)->cells[0].verticalLink = 1;
    p.end1Line = 3;
    p.stepCount = 42;
    p.end1Step = 7;
    p.setNote(0, "n");
    LadderInfo info{"V2.1", "lathe", "wang", "2024-05-01 10:20"};
    CommentTables tables;
    tables.relay.set(9, "r9");
    const QByteArray written = formatLadderPart(p, info, NumberField::FromText) + formatCommentRecords(p, tables);
    QByteArray expected = handLadder(0, {{{kContactNO, 1, 12, "X012.3"}, {kHorizontalWire, 0, -1, ""}}});
    expected += record(fileformat::kTagLineNote, 0, "n") + record(fileformat::kTagRelayNotation, 9, "r9");
    EXPECT_EQ(written.toHex(' '), expected.toHex(' '));
}

TEST(LadderFile, NumberFieldFollowsTheText)
{
    struct Case { const char* text; qint16 number; };
    const Case cases[] = {{"X012.3", 12}, {"R100.7", 100}, {"0012", 12}, {"DT0005", 5}, {"DC0012", 12},
                          {"D0010", 10}, {"CTR", 0}, {"", -1}, {"X1a.2", 0}, {"Z12", 0}, {"T0127", 127}, {"X99999", 0}, {"1234567", 0}};
    for (const Case& c : cases)
        EXPECT_EQ(numberFromCellText(c.text), c.number) << c.text;
    LadderCell cell;
    cell.number = 77;
    cell.setText("TMR");
    EXPECT_EQ(version1Number(cell), 77);
    cell.setText("Y005.1");
    EXPECT_EQ(version1Number(cell), 5);
}

TEST(LadderFile, RoundTripKeepsEveryStoredField)
{
    for (bool withComments : {true, false}) {
        std::vector<LadderRow> rows = tmrRows();
        rows.push_back(rowOf({{kContactNC, "R999.7"}, {kHorizontalWire, ""}, {kCoil, "A063.7"}}));
        LadderProgram p = programOf(rows);
        p.mutableLine(1)->cells[5].setText({});
        for (auto& cell : p.mutableLine(0)->cells)
            cell.number = numberFromCellText(cell.text());
        for (int l = 1; l < p.lineCount(); ++l)
            for (auto& cell : p.mutableLine(l)->cells)
                cell.number = numberFromCellText(cell.text());
        p.setNote(2, QStringLiteral("主轴"));
        CommentTables tables;
        tables.notation.set(100, QStringLiteral("急停"));
        LadderInfo info{QStringLiteral("版本1"), "m", "who", "2024-01-01 00:00"};

        const QByteArray bytes = formatLadderPart(p, info, NumberField::FromText)
            + (withComments ? formatCommentRecords(p, tables) : QByteArray());
        LadderFileContent back = parseLadderFile(bytes, withComments);
        ASSERT_TRUE(back.ok());
        CommentTables backTables;
        applyCommentRecords(back.records(), back.ladder, backTables);
        ASSERT_EQ(back.ladder.lineCount(), p.lineCount());
        for (int l = 0; l < p.lineCount(); ++l)
            EXPECT_EQ(back.ladder.line(l), p.line(l)) << l;
        EXPECT_EQ(back.info.version, info.version);
        EXPECT_EQ(back.ladder.note(2), withComments ? QStringLiteral("主轴") : QString());
        EXPECT_EQ(backTables.notation.at(100), withComments ? QStringLiteral("急停") : QString());
        // Saving what was loaded gives the same bytes again.
        EXPECT_EQ(formatLadderPart(back.ladder, back.info, NumberField::FromText)
                      + (withComments ? formatCommentRecords(back.ladder, backTables) : QByteArray()),
                  bytes);
    }
}

TEST(LadderFile, DeferredCommentsReadAsTheEagerOnesAndYieldToLaterEdits)
{
    LadderProgram p = programOf({LadderRow(), LadderRow(), LadderRow(), LadderRow()});
    p.setNote(0, QStringLiteral("plain"));
    p.setNote(2, QStringLiteral("主轴"));
    CommentTables tables;
    tables.notation.set(100, QStringLiteral("急停"));
    tables.notation.set(24575, QStringLiteral("last"));
    tables.relay.set(7999, QStringLiteral("继电器"));
    // A later record for the same entry wins; a lone lead byte still decodes to something.
    const QByteArray bytes = formatLadderPart(p, {}, NumberField::FromText) + formatCommentRecords(p, tables)
        + record(fileformat::kTagNotation, 100, "late") + record(fileformat::kTagRelayNotation, 3, "a\xB0");

    LadderFileContent eager = parseLadderFile(bytes, true);
    ASSERT_EQ(eager.comments, CommentLoadResult::Loaded);
    CommentTables eagerTables;
    applyCommentRecords(eager.records(), eager.ladder, eagerTables);

    // Read through a view, so the content holds its own copy; the content is gone before
    // anything is decoded.
    auto deferredLoad = [&bytes] {
        LadderFileContent content = parseLadderFile(QByteArrayView(bytes), true);
        LadderProgram ladder = std::move(content.ladder);
        CommentTables deferredTables;
        deferCommentRecords(content, ladder, deferredTables);
        return std::make_pair(std::move(ladder), std::move(deferredTables));
    };
    {
        auto [ladder, deferredTables] = deferredLoad();
        const LadderProgram copy(ladder);   // taken before the texts were decoded
        for (int i = 0; i < kMaxLines; ++i) {
            ASSERT_EQ(ladder.note(i), eager.ladder.note(i)) << i;
            ASSERT_EQ(copy.note(i), eager.ladder.note(i)) << i;
        }
        for (int i = 0; i < kNotationEntries; ++i)
            ASSERT_EQ(deferredTables.notation.at(i), eagerTables.notation.at(i)) << i;
        for (int i = 0; i < kRelayNotationEntries; ++i)
            ASSERT_EQ(deferredTables.relay.at(i), eagerTables.relay.at(i)) << i;
        EXPECT_EQ(deferredTables.notation.at(100), QStringLiteral("late"));
    }
    {
        // Edits made before the first read land on top of the file's texts.
        auto [ladder, deferredTables] = deferredLoad();
        ladder.insertLines(0, 1);
        ladder.setNote(1, QStringLiteral("mine"));
        deferredTables.notation.set(100, QStringLiteral("mine"));
        EXPECT_EQ(ladder.note(1), QStringLiteral("mine"));
        EXPECT_EQ(ladder.note(3), QStringLiteral("主轴"));
        EXPECT_EQ(ladder.note(0), QString());
        EXPECT_EQ(deferredTables.notation.at(100), QStringLiteral("mine"));
        EXPECT_EQ(deferredTables.notation.at(24575), QStringLiteral("last"));
        deferredTables.relay.clear();
        EXPECT_EQ(deferredTables.relay.at(7999), QString());
    }
    {
        // Bytes the array does not own are copied from: the texts outlive them.
        QByteArray raw(bytes.constData(), bytes.size());
        auto loaded = std::make_pair(LadderProgram(), CommentTables());
        {
            const QByteArray borrowed = QByteArray::fromRawData(raw.constData(), raw.size());
            LadderFileContent content = parseLadderFile(borrowed, true);
            loaded.first = std::move(content.ladder);
            deferCommentRecords(content, loaded.first, loaded.second);
        }
        raw.fill('\xFF');
        EXPECT_EQ(loaded.first.note(2), QStringLiteral("主轴"));
        EXPECT_EQ(loaded.second.notation.at(100), QStringLiteral("late"));
    }
    {
        // Deleting lines before the first read moves the file's notes up with them.
        auto [ladder, deferredTables] = deferredLoad();
        ladder.deleteLines(0, 1);
        EXPECT_EQ(ladder.note(1), QStringLiteral("主轴"));
        EXPECT_EQ(ladder.note(0), QString());
    }
}

// A save of comments nobody looked at writes the file's own record bytes back: the same
// records a decode and encode would give, and bytes that do not convert back survive.
TEST(LadderFile, UnreadCommentsAreSavedAsTheyCame)
{
    LadderProgram p = programOf({LadderRow(), LadderRow(), LadderRow()});
    p.setNote(0, QStringLiteral("plain"));
    p.setNote(2, QStringLiteral("主轴"));
    CommentTables tables;
    tables.notation.set(100, QStringLiteral("急停"));
    tables.relay.set(7999, QStringLiteral("继电器"));
    const QByteArray ladderPart = formatLadderPart(p, {}, NumberField::FromText);
    // Out of order, one entry twice (the later wins) and an empty text: the saved records
    // are the canonical ones all the same.
    const QByteArray clean = ladderPart + record(fileformat::kTagRelayNotation, 7999, "x")
        + formatCommentRecords(p, tables) + record(fileformat::kTagNotation, 100, "late")
        + record(fileformat::kTagNotation, 5, "");
    const auto load = [](const QByteArray& bytes) {
        LadderFileContent content = parseLadderFile(bytes, true);
        EXPECT_EQ(content.comments, CommentLoadResult::Loaded);
        auto loaded = std::make_pair(std::move(content.ladder), CommentTables());
        deferCommentRecords(content, loaded.first, loaded.second);
        return loaded;
    };
    const auto eagerSave = [](const QByteArray& bytes) {
        LadderFileContent content = parseLadderFile(bytes, true);
        CommentTables eager;
        applyCommentRecords(content.records(), content.ladder, eager);
        return formatCommentRecords(content.ladder, eager);
    };
    {
        auto [ladder, loadedTables] = load(clean);
        EXPECT_EQ(formatCommentRecords(ladder, loadedTables), eagerSave(clean));
        // Reading one table, or moving lines under the notes, sends that part through the
        // texts; the saved records stay the same.
        (void)loadedTables.notation.at(0);
        EXPECT_EQ(formatCommentRecords(ladder, loadedTables), eagerSave(clean));
        ladder.insertLines(0, 1);
        ladder.deleteLines(0, 1);
        EXPECT_EQ(formatCommentRecords(ladder, loadedTables), eagerSave(clean));
    }
    {
        // A lone lead byte decodes to a replacement: untouched, the stored bytes go back.
        const QByteArray odd = ladderPart + record(fileformat::kTagRelayNotation, 3, "a\xB0");
        auto [ladder, loadedTables] = load(odd);
        EXPECT_EQ(ladderPart + formatCommentRecords(ladder, loadedTables), odd);
        loadedTables.relay.set(4, QStringLiteral("新"));
        const QByteArray edited = formatCommentRecords(ladder, loadedTables);
        EXPECT_NE(edited, odd.sliced(ladderPart.size()));
        EXPECT_TRUE(edited.contains(vantor::toGbk(QStringLiteral("新"))));
    }
}

TEST(LadderFile, BrokenCommentTailStopsWithRecordsBeforeKept)
{
    const QByteArray ladder = handLadder(0, {{}});
    const QByteArray good = record(fileformat::kTagNotation, 5, "ok");
    struct Case { const char* what; QByteArray tail; };
    const Case cases[] = {
        {"unknown tag", record(1234, 0, "x")},
        {"line note past 4999", record(fileformat::kTagLineNote, 5000, "x")},
        {"notation past its table", record(fileformat::kTagNotation, 24576, "x")},
        {"relay past its table", record(fileformat::kTagRelayNotation, 8000, "x")},
        {"text over 127 bytes", record(fileformat::kTagNotation, 6, QByteArray(128, 'x'))},
        {"text cut short", record(fileformat::kTagNotation, 6, "abcdef").chopped(2)},
        {"half a tag", QByteArray(1, '\x16')},
    };
    for (const Case& c : cases) {
        LadderFileContent content = parseLadderFile(ladder + good + c.tail, true);
        ASSERT_TRUE(content.ok()) << c.what;
        EXPECT_EQ(content.comments, CommentLoadResult::Failed) << c.what;
        ASSERT_EQ(content.records().size(), 1u) << c.what;
        EXPECT_EQ(content.records()[0].text, "ok") << c.what;
    }
    // 127 bytes is still a comment.
    EXPECT_EQ(parseLadderFile(ladder + record(fileformat::kTagNotation, 6, QByteArray(127, 'x')), true).comments,
              CommentLoadResult::Loaded);
    // A .grp reader never looks at the tail.
    EXPECT_EQ(parseLadderFile(ladder + record(1234, 0, "x"), false).comments, CommentLoadResult::NotRead);
}

TEST(LadderFile, LongCommentsAreCutAtACharacterBoundary)
{
    LadderProgram p = programOf({LadderRow()});
    const QString note = QString(70, QChar(0x4E2D));   // 140 GBK bytes
    p.setNote(0, note);
    const QByteArray bytes = formatLadderPart(p, {}, NumberField::FromText) + formatCommentRecords(p, CommentTables());
    LadderFileContent back = parseLadderFile(bytes, true);
    ASSERT_EQ(back.comments, CommentLoadResult::Loaded);
    ASSERT_EQ(back.records().size(), 1u);
    EXPECT_EQ(back.records()[0].text.size(), 126);
    EXPECT_EQ(vantor::fromGbk(back.records()[0].text), QString(63, QChar(0x4E2D)));
}

TEST(LadderFile, TruncatedAndRandomFilesNeverReadPastTheEnd)
{
    std::vector<LadderRow> rows = tmrRows();
    LadderProgram p = programOf(rows);
    p.setNote(1, "note");
    CommentTables tables;
    tables.notation.set(3, "three");
    const QByteArray full = formatLadderPart(p, {}, NumberField::FromText) + formatCommentRecords(p, tables);
    const qsizetype ladderBytes = fileformat::kHeaderBytes + 2 * fileformat::kLineBytes;
    for (qsizetype cut = 0; cut < full.size(); ++cut) {
        const QByteArray part = full.left(cut);
        LadderFileContent c = parseLadderFile(part, true);
        if (cut < ladderBytes) {
            EXPECT_EQ(c.error, LadderLoadError::Truncated) << cut;
            EXPECT_EQ(c.ladder.lineCount(), 0) << cut;
        } else {
            EXPECT_TRUE(c.ok()) << cut;
            EXPECT_EQ(c.comments, cut == ladderBytes || cut == full.size() - 13 ? CommentLoadResult::Loaded
                                                                                : CommentLoadResult::Failed)
                << cut;
        }
    }
    std::mt19937 random(20240501);
    for (int round = 0; round < 2000; ++round) {
        QByteArray noise(qsizetype(random() % 600), '\0');
        for (auto& b : noise)
            b = char(random());
        if (round % 2 && noise.size() >= 2)
            noise[0] = char(random() % 3), noise[1] = 0;   // small counts, so the cells get read
        const LadderFileContent c = parseLadderFile(noise, true);
        EXPECT_LE(c.ladder.lineCount(), kMaxLines);
    }
}

TEST(LadderFile, Version1ExportShortensBlocksAndLoadingRestoresThem)
{
    std::vector<LadderRow> rows = tmrRows();
    rows.push_back(rowOf({{kContactNO, "X000.1"}, {kHorizontalWire, ""}, {kCoil, "Y000.1"}}));
    LadderProgram p = programOf(rows);
    p.setNote(0, "kept out");
    const auto copy = makeVersion1Copy(p);
    ASSERT_TRUE(copy.has_value());
    ASSERT_EQ(copy->lineCount(), 2);
    EXPECT_EQ(copy->note(0), QString());
    EXPECT_EQ(copy->line(1), p.line(2));

    const QByteArray bytes = formatLadderPart(*copy, {}, NumberField::Version1);
    EXPECT_EQ(bytes.size(), fileformat::kHeaderBytes + 2 * fileformat::kLineBytes);
    LadderFileContent back = parseLadderFile(bytes, false);
    ASSERT_TRUE(back.ok());
    normalizeFunctionBlocks(back.ladder);
    ASSERT_EQ(back.ladder.lineCount(), 3);
    EXPECT_EQ(back.ladder.cell(1, 4).code, blockCellCode(fn::TMR, 1, 0));
    EXPECT_EQ(back.ladder.cell(1, 5).code, blockCellCode(fn::TMR, 1, 1));
    EXPECT_FALSE(back.ladder.cell(1, 5).hasText());
    EXPECT_EQ(back.ladder.cell(1, 0).code, kEmpty);
    EXPECT_EQ(back.ladder.cell(2, 0).text(), "X000.1");

    // A full-height block only loses the text of its lower cells.
    LadderProgram full = programOf(tmrRows());
    normalizeFunctionBlocks(full);
    EXPECT_EQ(full.lineCount(), 2);
    EXPECT_FALSE(full.cell(1, 5).hasText());
}

TEST(LadderFile, Version1FileOf4999LinesGetsItsBlocksBackWhole)
{
    // An edit ladder of 5000 lines (as a file may hold) with a two-line TMR block exports
    // as 4999 lines; loading must grow it back to 5000, past the editing limit.
    std::vector<LadderRow> rows = tmrRows();
    LadderProgram p = programOf(rows);
    while (p.lineCount() < kMaxLines)
        p.appendLoadedLine(LadderRow{});
    const auto copy = makeVersion1Copy(p);
    ASSERT_TRUE(copy.has_value());
    ASSERT_EQ(copy->lineCount(), kMaxLines - 1);
    LadderFileContent back = parseLadderFile(formatLadderPart(*copy, {}, NumberField::Version1), false);
    ASSERT_TRUE(back.ok());
    normalizeFunctionBlocks(back.ladder);
    ASSERT_EQ(back.ladder.lineCount(), kMaxLines);
    EXPECT_EQ(back.ladder.cell(1, 4).code, blockCellCode(fn::TMR, 1, 0));
    EXPECT_EQ(back.ladder.cell(1, 5).code, blockCellCode(fn::TMR, 1, 1));
    EXPECT_EQ(back.ladder.line(2), LadderRow{});
}

TEST(LadderFile, Version1RefusesInstructionsItCannotHold)
{
    for (quint16 instruction : {fn::TMRB, fn::TMRC, fn::CALLU, fn::MOVB, fn::MOVW}) {
        LadderProgram p = programOf({LadderRow(), rowOf({{kContactNO, "X000.0"}, {blockCellCode(instruction, 0, 0), "X"}})});
        int line = -1;
        EXPECT_FALSE(makeVersion1Copy(p, &line).has_value()) << instruction;
        EXPECT_EQ(line, 1);
    }
}

TEST(LadderFile, PathRules)
{
    EXPECT_TRUE(isGrpPath("a/DEMO.grp"));
    EXPECT_TRUE(isGrpPath("demo.GRP"));
    EXPECT_FALSE(isGrpPath("demo.plf"));
    EXPECT_FALSE(isGrpPath("demo.bak"));
    EXPECT_EQ(withExtension("dir/demo.plf", ".grp"), "dir/demo.grp");
    EXPECT_EQ(withExtension("dir/demo.plf", ".txt"), "dir/demo.txt");
}

// ---- signal comment text files ----------------------------------------------------------

TEST(NotationText, UserNotationLinesAndSections)
{
    const QByteArray file = "M05 F0263 " + vantor::toGbk(QStringLiteral("主轴定向")) + "\r\n"
        "M06 F0343 beyond F033\r\n"
        "M99 F0263 beyond M97\r\n"
        "M07 F-001 none\r\n"
        "M08 F0270 " + QByteArray(70, 'c') + "\r\n"
        "%\r\n"
        "X0123     start button   \r\n"
        "R9997     relay\r\n"
        "Y0001    \r\n"
        "A0005     the end of travel\r\n"
        "K0060     after\r\n"
        "end\r\n"
        "X0010     never read\r\n";
    const NotationFileContent c = parseUserNotationFile(file);
    const std::vector<MCodeEntry> mCodes{{5, 263}, {7, -1}, {8, 270}};
    EXPECT_EQ(c.mCodes, mCodes);
    CommentTables t;
    applyNotationContent(c, t);
    EXPECT_EQ(t.mCodes.at(5), 263);
    EXPECT_EQ(t.mCodes.at(6), -1);
    EXPECT_EQ(t.commentOf("F026.3"), QStringLiteral("主轴定向"));
    EXPECT_EQ(t.commentOf("F027.0"), QString(64, 'c'));
    EXPECT_EQ(t.commentOf("X012.3"), "start button");
    EXPECT_EQ(t.commentOf("R999.7"), "relay");
    EXPECT_EQ(t.commentOf("Y000.1"), QString());
    // A comment that merely contains "end" is a comment; only the line "end" ends the file.
    EXPECT_EQ(t.commentOf("A000.5"), "the end of travel");
    EXPECT_EQ(t.commentOf("K006.0"), "after");
    EXPECT_EQ(t.commentOf("X001.0"), QString());
}

TEST(NotationText, UnknownLetterEndsTheSignalSection)
{
    const NotationFileContent c = parseUserNotationFile("%\r\nX0000     a\r\nQ0000     b\r\nX0001     c\r\nend\r\n");
    ASSERT_EQ(c.comments.size(), 1u);
    EXPECT_EQ(c.comments[0].text, "a");
}

TEST(NotationText, ExportWritesTheFixedRangesAndReadsBack)
{
    CommentTables t;
    t.mCodes.set(5, 263);
    t.setCommentOf("F026.3", QStringLiteral("定向"));
    t.setCommentOf("X006.7", "last x");
    t.setCommentOf("X007.0", "not exported");
    t.setCommentOf("K005.7", "not exported");
    t.setCommentOf("K006.0", "k");
    t.setCommentOf("R000.1", "r\r\nbroken");
    const QByteArray text = formatUserNotationFile(t);
    const QByteArray expected = "M05 F0263 " + vantor::toGbk(QStringLiteral("定向")) + "\r\n%\r\n"
        "X0067     last x\r\nK0060     k\r\nR0001     r  broken\r\nend\r\n";
    EXPECT_EQ(text, expected);
    CommentTables back;
    applyNotationContent(parseUserNotationFile(text), back);
    EXPECT_EQ(back.mCodes.at(5), 263);
    EXPECT_EQ(back.commentOf("F026.3"), QStringLiteral("定向"));
    EXPECT_EQ(back.commentOf("X006.7"), "last x");
    EXPECT_EQ(back.commentOf("R000.1"), "r  broken");
}

TEST(NotationText, DiagnosisFile)
{
    const QByteArray file = "X0003     door open  \r\n"
                            "A0011     alarm\r\n"
                            "R1002     relay\r\n"
                            "F1281     one-bit F byte\r\n"
                            "G0009     bad bit\r\n"
                            "Y001\r\n"
                            "end\r\n"
                            "X0004     after end\r\n";
    CommentTables t;
    applyCommentEntries(parseDiagnosisFile(file), t);
    EXPECT_EQ(t.commentOf("X000.3"), "door open");
    // Alarm and relay meanings land in their own tables, not over the F signals.
    EXPECT_EQ(t.commentOf("A001.1"), "alarm");
    EXPECT_EQ(t.commentOf("F001.1"), QString());
    EXPECT_EQ(t.commentOf("R100.2"), "relay");
    EXPECT_EQ(t.notation.at(128 * 8), "one-bit F byte");
    EXPECT_EQ(t.commentOf("X000.4"), QString());
    // A line shorter than 3 characters ends the file as well.
    EXPECT_TRUE(parseDiagnosisFile("ab\r\nX0003     x\r\n").empty());
}

TEST(NotationText, RandomBytesNeverCrash)
{
    std::mt19937 random(7);
    const char alphabet[] = "MFXYRKAG%end0123456789 .-\r\n\x81\xFF";
    for (int round = 0; round < 3000; ++round) {
        QByteArray noise(qsizetype(random() % 300), '\0');
        for (auto& b : noise)
            b = round % 2 ? char(random()) : alphabet[random() % (sizeof alphabet - 1)];
        CommentTables t;
        applyNotationContent(parseUserNotationFile(noise), t);
        applyCommentEntries(parseDiagnosisFile(noise), t);
        for (int m = 0; m < kMCodeCount; ++m) {
            const int s = t.mCodes.at(m);
            EXPECT_TRUE(s == -1 || (s / 10 >= 26 && s / 10 <= 33 && s % 10 < 8)) << s;
        }
    }
}
