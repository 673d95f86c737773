// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/nclinestore.h"

#include <QRandomGenerator>
#include <QStringList>
#include <gtest/gtest.h>

using namespace vantor;

namespace {

QString s(const char* text) { return QString::fromUtf8(text); }

QStringList linesOf(const NcLineStore& store)
{
    QStringList out;
    for (int i = 0; i < store.lineCount(); ++i)
        out << store.line(i).toString();
    return out;
}

// The same edits on a plain string, to hold the store against.
qsizetype offsetOf(const QString& text, NcPos p)
{
    qsizetype at = 0;
    for (int l = 0; l < p.line; ++l)
        at = text.indexOf(u'\n', at) + 1;
    return at + p.column;
}

NcPos randomPos(const NcLineStore& store, QRandomGenerator& rng)
{
    const int line = int(rng.bounded(store.lineCount()));
    return {line, int(rng.bounded(store.lineLength(line) + 1))};
}

}  // namespace

TEST(NcLineStore, LinesAreTheTextSplitAtLineBreaks)
{
    struct Case {
        const char* text;
        QStringList lines;
    } cases[] = {
        {"", {s("")}},
        {"N1", {s("N1")}},
        {"N1\n", {s("N1"), s("")}},
        {"N1\n\nN3 (程序)", {s("N1"), s(""), s("N3 (程序)")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        NcLineStore store;
        store.setText(s(c.text));
        EXPECT_EQ(linesOf(store), c.lines);
        EXPECT_EQ(store.characterCount(), s(c.text).size());
        EXPECT_EQ(store.text(), s(c.text));
        EXPECT_FALSE(store.isModified());
        EXPECT_FALSE(store.canUndo());
    }
}

TEST(NcLineStore, EditsAcrossLinesKeepTheLineIndexAndUndoRedoRestoreEveryState)
{
    // Random replacements on the store and on a plain string, compared after each; then every
    // step undone and redone, compared with the states recorded on the way.
    QRandomGenerator rng(20261210);
    const char* pieces[] = {"", "X", "G01 ", "\n", "N5\nN6", "\n\n", "(注释)\n", "é"};
    QString model = s("O0001\nN1 G00 X0\nN2 G01 X10.5 F100\n\nN4 M30\n");
    NcLineStore store;
    store.setText(model);
    std::vector<QString> states{model};
    for (int step = 0; step < 300; ++step) {
        NcPos a = randomPos(store, rng), b = randomPos(store, rng);
        if (b < a)
            std::swap(a, b);
        if (rng.bounded(3) == 0)
            b = a;  // plain insertion, so typing merges too
        const QString piece = s(pieces[rng.bounded(int(std::size(pieces)))]);
        const qsizetype from = offsetOf(model, a), to = offsetOf(model, b);
        const NcPos end = store.replace(a, b, piece);
        model.replace(from, to - from, piece);
        ASSERT_EQ(store.text(), model) << "step " << step;
        ASSERT_EQ(store.characterCount(), model.size());
        ASSERT_EQ(store.lineCount(), model.count(u'\n') + 1);
        ASSERT_EQ(offsetOf(model, end), from + piece.size());
        states.push_back(model);
    }
    ASSERT_TRUE(store.isModified());
    // Undo runs back to the loaded text through states that were all seen (typing merged).
    int undone = 0;
    while (store.canUndo()) {
        store.undo();
        ++undone;
        ASSERT_NE(std::find(states.begin(), states.end(), store.text()), states.end()) << "undo " << undone;
    }
    EXPECT_EQ(store.text(), states.front());
    EXPECT_FALSE(store.isModified());
    while (store.canRedo())
        store.redo();
    EXPECT_EQ(store.text(), model);
    EXPECT_LT(undone, 300);
}

TEST(NcLineStore, LineEndsStayWithTheirLinesThroughEditsAndUndo)
{
    NcLineStore store;
    // Line 1 ended in CR, line 2 in LF, in a file that otherwise ends lines in CR LF.
    store.setText(s("N1\nN2 X5\nN3\nN4"), {{1, NcLineEnd::Cr}, {2, NcLineEnd::Lf}});
    const auto ends = [&store] {
        std::vector<std::pair<int, NcLineEnd>> out;
        for (const NcLineEndException& e : store.lineEndExceptions())
            out.emplace_back(e.line, e.end);
        return out;
    };
    using V = std::vector<std::pair<int, NcLineEnd>>;
    EXPECT_EQ(ends(), (V{{1, NcLineEnd::Cr}, {2, NcLineEnd::Lf}}));

    store.insert({0, 0}, s("%\n"));  // a new line takes the usual end and pushes the others down
    EXPECT_EQ(ends(), (V{{2, NcLineEnd::Cr}, {3, NcLineEnd::Lf}}));
    store.insert({2, 2}, s("\n"));  // Enter inside "N2 X5": the break that was read stays at the end
    EXPECT_EQ(store.text(), s("%\nN1\nN2\n X5\nN3\nN4"));
    EXPECT_EQ(ends(), (V{{3, NcLineEnd::Cr}, {4, NcLineEnd::Lf}}));
    store.replace({3, 3}, {4, 0}, {});  // joining takes the end of the lower line
    EXPECT_EQ(store.text(), s("%\nN1\nN2\n X5N3\nN4"));
    EXPECT_EQ(ends(), (V{{3, NcLineEnd::Lf}}));
    store.replace({1, 0}, {4, 0}, {});  // the removed breaks go, with their ends
    EXPECT_EQ(store.text(), s("%\nN4"));
    EXPECT_EQ(ends(), V{});
    while (store.canUndo())
        store.undo();
    EXPECT_EQ(store.text(), s("N1\nN2 X5\nN3\nN4"));
    EXPECT_EQ(ends(), (V{{1, NcLineEnd::Cr}, {2, NcLineEnd::Lf}}));
}

TEST(NcLineStore, TypingIsOneUndoStepPerWordAndTheSavedStateIsKept)
{
    NcLineStore store;
    store.setText(s("N1\n"));
    NcPos at{1, 0};
    for (QChar c : s("G01 X5"))
        at = store.insert(at, QString(c));
    EXPECT_EQ(store.text(), s("N1\nG01 X5"));
    store.undo();
    EXPECT_EQ(store.text(), s("N1\nG01"));
    store.undo();
    EXPECT_EQ(store.text(), s("N1\n"));
    EXPECT_FALSE(store.isModified());
    store.redo();
    store.setModified(false);  // saved here
    at = store.insert({1, 3}, s("0"));
    store.insert(at, s("0"));
    EXPECT_TRUE(store.isModified());
    store.undo();  // the typing after the save is a step of its own
    EXPECT_EQ(store.text(), s("N1\nG01"));
    EXPECT_FALSE(store.isModified());
    store.undo();
    EXPECT_TRUE(store.isModified());

    // A group is one step; an edit after undo drops the redo and the saved state ahead of it.
    store.beginGroup();
    store.insert({0, 0}, s("A"));
    store.insert({0, 0}, s("B"));
    store.endGroup();
    EXPECT_EQ(store.text(), s("BAN1\n"));
    store.undo();
    EXPECT_EQ(store.text(), s("N1\n"));
    store.setModified(false);
    store.redo();
    store.undo();
    store.insert({0, 0}, s("C"));
    EXPECT_FALSE(store.canRedo());
    EXPECT_TRUE(store.isModified());
}

TEST(NcLineStore, FindForwardBackwardAndAroundTheEnd)
{
    NcLineStore store;
    store.setText(s("N1 G01 X1\nN2 g01 Y2\nN3 G00\nN4 G01 Z4 G01\n"));
    store.replace({2, 3}, {2, 6}, s("G01"));  // an edited line among lines as read
    using O = NcLineStore::FindOptions;
    struct Case {
        const char* what;
        NcPos from;
        O options;
        std::optional<NcPos> at;
    } cases[] = {
        {"G01", {0, 0}, {true, false, false}, NcPos{0, 3}},
        {"G01", {0, 4}, {true, false, false}, NcPos{2, 3}},     // skips the lower case one
        {"G01", {0, 4}, {false, false, false}, NcPos{1, 3}},
        {"G01", {3, 7}, {true, false, false}, NcPos{3, 10}},
        {"G01", {3, 11}, {true, false, false}, std::nullopt},
        {"G01", {3, 11}, {true, false, true}, NcPos{0, 3}},     // wraps to the top
        {"G01", {3, 10}, {true, true, false}, NcPos{3, 3}},     // backward: wholly before from
        {"G01", {3, 3}, {false, true, false}, NcPos{2, 3}},
        {"G01", {2, 5}, {false, true, false}, NcPos{1, 3}},
        {"G01", {0, 3}, {true, true, false}, std::nullopt},
        {"G01", {0, 3}, {true, true, true}, NcPos{3, 10}},      // wraps to the bottom
        {"X1N2", {0, 0}, {false, false, false}, std::nullopt},  // never over a line end
        {"X1\nN2", {0, 0}, {false, false, false}, std::nullopt},
        {"n4 g01 z", {0, 0}, {false, false, false}, NcPos{3, 0}},
        {"", {0, 0}, {false, false, false}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " from " + std::to_string(c.from.line) + ":" + std::to_string(c.from.column));
        const auto m = store.find(s(c.what), c.from, c.options);
        ASSERT_EQ(m.has_value(), c.at.has_value());
        if (m) {
            EXPECT_EQ(m->at, *c.at);
        }
    }
}

TEST(NcLineStore, FindAgreesWithAPlainSearchAfterEdits)
{
    QRandomGenerator rng(7);
    QString text;
    for (int i = 0; i < 9000; ++i)  // more lines than one search slice holds
        text += s("N%1 G0%2 X%3 (ä)\n").arg(i).arg(i % 3).arg(i % 11);
    NcLineStore store;
    store.setText(text);
    for (int i = 0; i < 60; ++i) {
        const NcPos a = randomPos(store, rng);
        store.replace(a, {a.line, std::min(store.lineLength(a.line), a.column + 2)}, i % 4 ? s("G01") : s("\nX7 Ä"));
    }
    const QString all = store.text();
    for (const char* what : {"G01", "g01", "X7", "x1 (", "Ä"}) {
        for (const bool matchCase : {true, false}) {
            const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
            for (int k = 0; k < 30; ++k) {
                const NcPos from = randomPos(store, rng);
                const qsizetype off = offsetOf(all, from);
                SCOPED_TRACE(std::string(what) + (matchCase ? " case" : " nocase") + " at " + std::to_string(off));
                const auto f = store.find(s(what), from, {matchCase, false, false});
                const qsizetype want = all.indexOf(s(what), off, cs);
                ASSERT_EQ(f ? offsetOf(all, f->at) : -1, want);
                const auto b = store.find(s(what), from, {matchCase, true, false});
                const qsizetype back = off < s(what).size() ? -1 : all.lastIndexOf(s(what), off - s(what).size(), cs);
                ASSERT_EQ(b ? offsetOf(all, b->at) : -1, back);
            }
        }
    }
}

TEST(NcLineStore, ReplaceAllIsOneUndoStep)
{
    NcLineStore store;
    store.setText(s("G01 X1 g01\nM30\nG01\n"));
    EXPECT_EQ(store.replaceAll(s("G01"), s("G01 G01"), false), 3);  // the replacement holds the word
    EXPECT_EQ(store.text(), s("G01 G01 X1 G01 G01\nM30\nG01 G01\n"));
    EXPECT_EQ(store.replaceAll(s("M30"), s("M05\nM30"), true), 1);
    EXPECT_EQ(store.text(), s("G01 G01 X1 G01 G01\nM05\nM30\nG01 G01\n"));
    EXPECT_EQ(store.replaceAll(s("Z9"), s("Z0"), true), 0);
    store.undo();
    EXPECT_EQ(store.text(), s("G01 G01 X1 G01 G01\nM30\nG01 G01\n"));
    store.undo();
    EXPECT_EQ(store.text(), s("G01 X1 g01\nM30\nG01\n"));
    EXPECT_FALSE(store.isModified());
}

TEST(NcLineStore, ReplaceAllOverAWholeLongProgram)
{
    QString text;
    for (int i = 0; i < 50000; ++i)
        text += s("N%1 G01 X1 G01\n").arg(i);
    NcLineStore store;
    store.setText(text);
    EXPECT_EQ(store.replaceAll(s("g01"), s("G02"), false), 100000);
    EXPECT_EQ(store.line(49999), s("N49999 G02 X1 G02"));
    EXPECT_EQ(store.characterCount(), text.size());
    const QString replaced = store.text();
    store.undo();
    EXPECT_EQ(store.text(), text);
    store.redo();
    EXPECT_EQ(store.text(), replaced);
    store.undo();
    EXPECT_EQ(store.text(), text);
    // A new text drops the history that shared the old one.
    store.setText(s("G01\n"));
    EXPECT_EQ(store.replaceAll(s("G01"), s("G00"), true), 1);
    store.undo();
    EXPECT_EQ(store.text(), s("G01\n"));
}
