// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/review/ladderdiff.h"

#include "rungpad/model/laddertext.h"
#include "rungpad/review/crossreference.h"
#include "rungpad/review/reviewtexts.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <set>

namespace rungpad {

namespace {

// What the text form of a cell shows: element, address or parameter, link. Selection marks
// and table-row counts are view and loader state, not part of the program.
bool sameCell(const LadderCell& a, const LadderCell& b)
{
    // Up to the terminator only: older files carry leftover bytes behind it.
    return a.code == b.code && a.hasLink() == b.hasLink()
        && qstrncmp(a.textBytes.data(), b.textBytes.data(), size_t(kCellTextBytes)) == 0;
}

bool sameLine(const LadderProgram& a, int la, const LadderProgram& b, int lb)
{
    const LadderRow& x = a.line(la);
    const LadderRow& y = b.line(lb);
    for (int c = 0; c < kColumns; ++c)
        if (!sameCell(x[c], y[c]))
            return false;
    return a.note(la) == b.note(lb);
}

size_t lineHash(const LadderProgram& p, int l)
{
    const LadderRow& row = p.line(l);
    size_t h = qHash(p.note(l));
    for (int c = 0; c < kColumns; ++c) {
        const LadderCell& cell = row[c];
        h = h * 1000003u ^ (size_t(cell.code) << 1 | size_t(cell.hasLink()));
        h = h * 1000003u ^ qHashBits(cell.textBytes.data(), qstrnlen(cell.textBytes.data(), kCellTextBytes));
    }
    return h;
}

enum class Op { Equal, Delete, Insert };

// Myers' greedy shortest edit script between a[lo..] and b[lo..] by line ids. Beyond
// kMaxEdits differences the middle is given as all deleted, then all inserted: still a true
// script, only not the shortest, and memory stays bounded for two unrelated programs.
constexpr int kMaxEdits = 2500;

std::vector<Op> editScript(const std::vector<int>& a, const std::vector<int>& b)
{
    const int n = int(a.size());
    const int m = int(b.size());
    const int max = n + m;
    std::vector<Op> ops;
    if (max == 0)
        return ops;
    const int offset = max + 1;
    std::vector<int> v(size_t(2 * max + 3), 0);
    std::vector<std::vector<int>> trace;
    int found = -1;
    for (int d = 0; d <= std::min(max, kMaxEdits); ++d) {
        trace.emplace_back(v.begin() + (offset - d - 1), v.begin() + (offset + d + 2));
        for (int k = -d; k <= d; k += 2) {
            int x;
            if (k == -d || (k != d && v[size_t(offset + k - 1)] < v[size_t(offset + k + 1)]))
                x = v[size_t(offset + k + 1)];
            else
                x = v[size_t(offset + k - 1)] + 1;
            int y = x - k;
            while (x < n && y < m && a[size_t(x)] == b[size_t(y)]) {
                ++x;
                ++y;
            }
            v[size_t(offset + k)] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
        if (found >= 0)
            break;
    }
    if (found < 0) {
        ops.assign(size_t(n), Op::Delete);
        ops.insert(ops.end(), size_t(m), Op::Insert);
        return ops;
    }
    // Walk back through the saved frontiers. trace[d] holds v[-d-1 .. d+1] before step d.
    int x = n, y = m;
    for (int d = found; d > 0; --d) {
        const std::vector<int>& pv = trace[size_t(d)];
        auto at = [&](int k) { return pv[size_t(k + d + 1)]; };
        const int k = x - y;
        int prevK;
        if (k == -d || (k != d && at(k - 1) < at(k + 1)))
            prevK = k + 1;
        else
            prevK = k - 1;
        const int prevX = at(prevK);
        const int prevY = prevX - prevK;
        while (x > prevX && y > prevY) {
            ops.push_back(Op::Equal);
            --x;
            --y;
        }
        ops.push_back(x == prevX ? Op::Insert : Op::Delete);
        x = prevX;
        y = prevY;
    }
    while (x > 0 && y > 0) {
        ops.push_back(Op::Equal);
        --x;
        --y;
    }
    std::reverse(ops.begin(), ops.end());
    return ops;
}


quint16 cellMarks(const LadderProgram& a, int la, const LadderProgram& b, int lb)
{
    quint16 marks = 0;
    const LadderRow& x = a.line(la);
    const LadderRow& y = b.line(lb);
    for (int c = 0; c < kColumns; ++c)
        if (!sameCell(x[c], y[c]))
            marks |= quint16(1u << c);
    if (a.note(la) != b.note(lb))
        marks |= DiffRow::kNoteBit;
    return marks;
}

// How alike two lines are, counted over the cells that hold an element on either side (the
// wires that fill every line would make any two lines look alike); 0: too different to be
// one line changed, rather one removed and another added.
int likeness(const LadderProgram& a, int la, const LadderProgram& b, int lb)
{
    const LadderRow& x = a.line(la);
    const LadderRow& y = b.line(lb);
    int meaningful = 0, equal = 0;
    for (int c = 0; c < kColumns; ++c) {
        auto plain = [](const LadderCell& cell) {
            return (cell.code == kEmpty || cell.code == kHorizontalWire) && !cell.hasText();
        };
        if (plain(x[c]) && plain(y[c]) && x[c].hasLink() == y[c].hasLink())
            continue;
        ++meaningful;
        equal += sameCell(x[c], y[c]);
    }
    if (a.note(la) != b.note(lb) && (!a.note(la).isEmpty() || !b.note(lb).isEmpty()))
        ++meaningful;
    else if (!a.note(la).isEmpty())
        ++meaningful, ++equal;
    return equal * 2 >= meaningful ? equal + 1 : 0;
}

// The removed and added lines of one place of difference, in order, paired where a line was
// changed rather than replaced: the pairing that keeps both orders and is most alike (a
// weighted common-subsequence over the two lists). Unpaired lines come back with -1 on the
// other side, removed before added.
constexpr size_t kMaxPairingCells = 250000;

std::vector<std::pair<int, int>> pairLines(const LadderProgram& left, const std::vector<int>& removed,
                                           const LadderProgram& right, const std::vector<int>& added)
{
    std::vector<std::pair<int, int>> out;
    const size_t r = removed.size(), n = added.size();
    if (r * n > kMaxPairingCells || r == 0 || n == 0) {
        const size_t pairs = r * n > kMaxPairingCells ? std::min(r, n) : 0;
        for (size_t i = 0; i < pairs; ++i)
            out.emplace_back(removed[i], added[i]);
        for (size_t i = pairs; i < r; ++i)
            out.emplace_back(removed[i], -1);
        for (size_t i = pairs; i < n; ++i)
            out.emplace_back(-1, added[i]);
        return out;
    }
    std::vector<int> weight(r * n);
    for (size_t i = 0; i < r; ++i)
        for (size_t j = 0; j < n; ++j)
            weight[i * n + j] = likeness(left, removed[i], right, added[j]);
    std::vector<int> best((r + 1) * (n + 1), 0);
    auto at = [&](size_t i, size_t j) -> int& { return best[i * (n + 1) + j]; };
    for (size_t i = 1; i <= r; ++i)
        for (size_t j = 1; j <= n; ++j) {
            int v = std::max(at(i - 1, j), at(i, j - 1));
            if (const int w = weight[(i - 1) * n + (j - 1)])
                v = std::max(v, at(i - 1, j - 1) + w);
            at(i, j) = v;
        }
    size_t i = r, j = n;
    std::vector<std::pair<int, int>> reversed;
    while (i > 0 || j > 0) {
        const int w = i > 0 && j > 0 ? weight[(i - 1) * n + (j - 1)] : 0;
        if (w && at(i, j) == at(i - 1, j - 1) + w) {
            reversed.emplace_back(removed[i - 1], added[j - 1]);
            --i;
            --j;
        } else if (j > 0 && (i == 0 || at(i, j) == at(i, j - 1))) {
            reversed.emplace_back(-1, added[--j]);
        } else {
            reversed.emplace_back(removed[--i], -1);
        }
    }
    out.assign(reversed.rbegin(), reversed.rend());
    return out;
}

void addAddresses(std::set<QByteArray>& to, const LadderProgram& p, int line, quint16 columns)
{
    const LadderRow& row = p.line(line);
    if (isCodt(row[0].code))
        return;
    for (int c = 0; c < kColumns; ++c)
        if (columns & (1u << c))
            if (const auto a = parseLadderAddress(row[c].text()))
                to.insert(a->text());
}

}  // namespace

std::vector<int> LadderDiff::differences() const
{
    std::vector<int> out;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].kind != DiffKind::Same)
            out.push_back(int(i));
    return out;
}

LadderDiff diffLadders(const LadderProgram& left, const LadderProgram& right)
{
    LadderDiff diff;
    const int n = left.lineCount();
    const int m = right.lineCount();
    // Equal leading and trailing lines need no search.
    int head = 0;
    while (head < n && head < m && sameLine(left, head, right, head))
        ++head;
    int tail = 0;
    while (tail < n - head && tail < m - head && sameLine(left, n - 1 - tail, right, m - 1 - tail))
        ++tail;

    // Lines become dense ids: equal text, equal id (a hash bucket is confirmed line by line).
    std::vector<int> idsA, idsB;
    std::vector<std::pair<int, int>> reps;   // id -> (side, line)
    QHash<size_t, std::vector<int>> byHash;  // hash -> ids
    auto denseId = [&](const LadderProgram& p, int side, int l) {
        std::vector<int>& ids = byHash[lineHash(p, l)];
        for (int id : ids) {
            const auto [s, line] = reps[size_t(id)];
            if (sameLine(s == 0 ? left : right, line, p, l))
                return id;
        }
        reps.emplace_back(side, l);
        ids.push_back(int(reps.size() - 1));
        return int(reps.size() - 1);
    };
    for (int l = head; l < n - tail; ++l)
        idsA.push_back(denseId(left, 0, l));
    for (int l = head; l < m - tail; ++l)
        idsB.push_back(denseId(right, 1, l));
    const std::vector<Op> ops = editScript(idsA, idsB);

    diff.rows.reserve(size_t(std::max(n, m)) + 16);
    for (int l = 0; l < head; ++l)
        diff.rows.push_back({DiffKind::Same, l, l, 0});
    std::set<QByteArray> addresses;
    int i = head, j = head;
    size_t k = 0;
    while (k < ops.size()) {
        if (ops[k] == Op::Equal) {
            diff.rows.push_back({DiffKind::Same, i++, j++, 0});
            ++k;
            continue;
        }
        // One place of difference: its removed and added lines, paired where alike.
        std::vector<int> removed, added;
        while (k < ops.size() && ops[k] != Op::Equal) {
            if (ops[k] == Op::Delete)
                removed.push_back(i++);
            else
                added.push_back(j++);
            ++k;
        }
        for (const auto& [r, ad] : pairLines(left, removed, right, added)) {
            if (r >= 0 && ad >= 0) {
                DiffRow row{DiffKind::Changed, r, ad, cellMarks(left, r, right, ad)};
                if (row.cells == 0) {
                    // Only where the search gave up: equal lines are never called changed.
                    row.kind = DiffKind::Same;
                } else {
                    addAddresses(addresses, left, r, row.cells);
                    addAddresses(addresses, right, ad, row.cells);
                    ++diff.changed;
                }
                diff.rows.push_back(row);
            } else if (r >= 0) {
                diff.rows.push_back({DiffKind::Removed, r, -1, 0});
                addAddresses(addresses, left, r, 0x3FF);
                ++diff.removed;
            } else {
                diff.rows.push_back({DiffKind::Added, -1, ad, 0});
                addAddresses(addresses, right, ad, 0x3FF);
                ++diff.added;
            }
        }
    }
    for (int t = 0; t < tail; ++t)
        diff.rows.push_back({DiffKind::Same, n - tail + t, m - tail + t, 0});
    diff.addresses.assign(addresses.begin(), addresses.end());
    return diff;
}

QString lineText(const LadderProgram& ladder, int line)
{
    if (line < 0 || line >= ladder.lineCount())
        return {};
    LadderProgram one;
    one.clear();
    one.appendLoadedLine(ladder.line(line));
    one.setNote(0, ladder.note(line));
    QString text = writeLadderText(one);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

QString diffSummary(const LadderDiff& diff, int language)
{
    if (diff.same())
        return reviewText(ReviewText::DiffSame, language);
    return reviewText(ReviewText::DiffSummary, language).arg(diff.added).arg(diff.removed).arg(diff.changed);
}

QString formatDiff(const LadderDiff& diff, const LadderProgram& left, const LadderProgram& right, int language)
{
    QString out;
    auto number = [](int line) {
        return line < 0 ? QStringLiteral("----") : QStringLiteral("%1").arg(line + 1, 4, 10, QLatin1Char('0'));
    };
    for (const DiffRow& row : diff.rows) {
        if (row.kind == DiffKind::Same)
            continue;
        const ReviewText kind = row.kind == DiffKind::Added ? ReviewText::DiffAdded
            : row.kind == DiffKind::Removed                 ? ReviewText::DiffRemoved
                                                            : ReviewText::DiffChanged;
        out += QStringLiteral("%1  %2 | %3").arg(reviewText(kind, language), number(row.left), number(row.right));
        if (row.kind == DiffKind::Changed) {
            QStringList columns;
            for (int c = 0; c < kColumns; ++c)
                if (row.cells & (1u << c))
                    columns << QString::number(c + 1);
            if (row.cells & DiffRow::kNoteBit)
                columns << QStringLiteral(";");
            out += QStringLiteral("  ") + reviewText(ReviewText::DiffColumns, language).arg(columns.join(QLatin1Char(',')));
        }
        out += QLatin1Char('\n');
        if (row.left >= 0)
            out += QStringLiteral("  < ") + lineText(left, row.left) + QLatin1Char('\n');
        if (row.right >= 0)
            out += QStringLiteral("  > ") + lineText(right, row.right) + QLatin1Char('\n');
    }
    out += diffSummary(diff, language) + QLatin1Char('\n');
    if (!diff.addresses.empty()) {
        QStringList list;
        for (const QByteArray& a : diff.addresses)
            list << QString::fromLatin1(a);
        out += reviewText(ReviewText::DiffAddresses, language).arg(list.join(QLatin1Char(' '))) + QLatin1Char('\n');
    }
    return out;
}

}  // namespace rungpad
