// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/networkwalker.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/address.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

namespace rungpad {

struct NetworkWalker::Network {
    int a = 0;
    int z = 0;
    std::vector<std::array<bool, kColumns>> visited;
    std::vector<std::array<bool, kColumns>> linkUsed;
    std::vector<bool> masked;
    bool outputCutIsLogic = false;
    Network(int first, int last)
        : a(first), z(last), visited(size_t(last - first + 1)), linkUsed(size_t(last - first + 1)),
          masked(size_t(last - first + 1))
    {
        for (auto& r : visited) r.fill(false);
        for (auto& r : linkUsed) r.fill(false);
    }
    void visit(int l, int c) { visited[size_t(l - a)][size_t(c)] = true; }
    void useLink(int l, int c) { linkUsed[size_t(l - a)][size_t(c)] = true; }
    bool isMasked(int l) const { return masked[size_t(l - a)]; }
};

namespace {
bool isEmptyCell(const LadderCell& c) { return kindOf(c.code) == kEmpty; }
bool isWire(const LadderCell& c) { return kindOf(c.code) == kHorizontalWire; }
}  // namespace

bool NetworkWalker::emit(QByteArrayView mnemonic, const QByteArrayView* operands, size_t count, int line)
{
    // Built in one buffer: the converter writes up to 12000 of these per ladder.
    qsizetype size = std::max<qsizetype>(mnemonic.size(), kMnemonicWidth);
    for (size_t i = 0; i < count; ++i)
        size += (i > 0 ? 1 : 0) + operands[i].size();
    if (size > kMaxInstructionChars || int(m_lines.size()) >= kMaxInstructionLines)
        return fail(err::BeyondMaxLinesOrSteps, line);
    QByteArray text;
    text.reserve(size + 8);
    text.append(mnemonic);
    if (mnemonic.size() < kMnemonicWidth)
        text.append(kMnemonicWidth - mnemonic.size(), ' ');
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            text.append(' ');
        text.append(operands[i]);
    }
    // "  %4d" of the 1-based line.
    char number[16];
    int at = int(sizeof number);
    if (line < 0) {
        text.append(number, std::snprintf(number, sizeof number, "  %4d", line + 1));
        m_lines.push_back(std::move(text));
        return true;
    }
    for (int n = line + 1; n > 0; n /= 10)
        number[--at] = char('0' + n % 10);
    while (at > int(sizeof number) - 4)
        number[--at] = ' ';
    number[--at] = ' ';
    number[--at] = ' ';
    text.append(number + at, qsizetype(sizeof number) - at);
    m_lines.push_back(std::move(text));
    return true;
}

bool NetworkWalker::emit(QByteArrayView mnemonic, const std::vector<QByteArray>& operands, int line)
{
    std::array<QByteArrayView, 16> views;
    if (operands.size() > views.size()) {
        std::vector<QByteArrayView> many(operands.begin(), operands.end());
        return emit(mnemonic, many.data(), many.size(), line);
    }
    std::copy(operands.begin(), operands.end(), views.begin());
    return emit(mnemonic, views.data(), operands.size(), line);
}

bool NetworkWalker::emit(QByteArrayView mnemonic, int line)
{
    return emit(mnemonic, nullptr, 0, line);
}

bool NetworkWalker::emit(QByteArrayView mnemonic, QByteArrayView operand, int line)
{
    return emit(mnemonic, &operand, 1, line);
}

bool NetworkWalker::writeContact(const LadderCell& cell, int line, const char* positive, const char* negative)
{
    if (!cell.hasText())
        return fail(err::AddressNotSet, line);
    const auto a = parseElementAddress(cell.textView());
    if (!a)
        return fail(err::AddressMalformed, line);
    return emit(kindOf(cell.code) == kContactNO ? positive : negative, formatAddress(*a), line);
}

// One line, columns s..e, as RD/AND chain. `first` false continues an open chain with AND.
bool NetworkWalker::seriesChain(int line, int s, int e, bool hasBlock, bool first, bool* wrote)
{
    bool any = false;
    for (int c = s; c <= e; ++c) {
        const LadderCell& cell = m_ladder->cell(line, c);
        if (m_net && m_net->a <= line && line <= m_net->z)
            m_net->visit(line, c);
        const quint16 kind = kindOf(cell.code);
        if (kind == kEmpty)
            return fail(hasBlock ? err::BlockNotConnected : err::HorizontalNotConnected, line);
        if (isContact(cell.code)) {
            const bool opening = first && !any;
            if (!writeContact(cell, line, opening ? mnemonic::RD : mnemonic::AND,
                              opening ? mnemonic::RD_NOT : mnemonic::AND_NOT))
                return false;
            any = true;
        } else if (isCoil(cell.code)) {
            return fail(err::IllegalOutput, line);
        } else if (kind != kHorizontalWire && !isFunctionBlockCode(cell.code)) {
            return fail(err::Unsupported, line);
        }
    }
    if (wrote)
        *wrote = any;
    return true;
}

bool NetworkWalker::coilRule(int a, int z, bool functionNet)
{
    const int wrong = functionNet ? err::CoilNotOutput : err::IllegalOutput;
    if (!isCoil(m_ladder->cell(a, kOutputColumn).code))
        return fail(wrong, a);
    for (int l = a + 1; l <= z; ++l) {
        const LadderCell& c9 = m_ladder->cell(l, kOutputColumn);
        if (isEmptyCell(c9))
            continue;
        if (!isCoil(c9.code) || !m_ladder->cell(l - 1, kOutputColumn - 1).hasLink())
            return fail(wrong, l);
    }
    for (int l = a; l <= z; ++l) {
        const LadderCell& c9 = m_ladder->cell(l, kOutputColumn);
        if (!isCoil(c9.code))
            continue;
        if (!c9.hasText())
            return fail(err::AddressNotSet, l);
        const auto addr = parseElementAddress(c9.textView());
        if (!addr)
            return fail(err::IllegalOutput, l);
        if (!emit(kindOf(c9.code) == kCoil ? mnemonic::WRT : mnemonic::WRT_NOT, formatAddress(*addr), l))
            return false;
    }
    return true;
}

// Region rule. Lines top..bottom, columns s..e; for a sub-region the bus closing it lies at
// column e and belongs to the enclosing segment.
bool NetworkWalker::region(Network& net, int top, int bottom, int s, int e, bool topLevel, bool* wrote)
{
    const LadderProgram& L = *m_ladder;
    auto link = [&](int l, int c) { return l >= net.a && l <= net.z && L.cell(l, c).hasLink(); };
    auto cutFail = [&](int code, int line) {
        fail(code, line);
        return fail(err::Incomplete, line);
    };

    std::vector<int> cuts;
    for (int c = s; c <= e; ++c) {
        if (c == e && !topLevel)
            break;
        if (!link(top, c))
            continue;
        if (topLevel && c == kOutputColumn - 1 && !net.outputCutIsLogic)
            continue;
        cuts.push_back(c);
    }
    if (cuts.size() > 30)
        return fail(err::Incomplete, top);
    if (cuts.empty() && !topLevel)
        return fail(err::Incomplete, top);

    std::map<int, int> spanBottom;
    for (int c : cuts) {
        int k = top;
        while (k < bottom && link(k, c)) {
            net.useLink(k, c);
            ++k;
        }
        spanBottom[c] = k;
        for (int l = k + 1; l <= bottom; ++l)
            if (link(l, c))
                return cutFail(err::Unsupported, l);
        const bool leftEmpty = isEmptyCell(L.cell(k, c)) || net.isMasked(k);
        const bool rightEmpty = c + 1 > kOutputColumn - 1 || isEmptyCell(L.cell(k, c + 1)) || net.isMasked(k);
        if (k > top && leftEmpty && rightEmpty)
            return cutFail(err::VerticalLine, k);
    }

    // Whether line l touches a bus at the left edge of column p.
    auto connectedLeft = [&](int l, int p) {
        if (p == 0)
            return true;
        return link(l, p - 1) || link(l - 1, p - 1);
    };
    auto hasLinkIn = [&](int l, int from, int to) {
        for (int c = from; c <= to; ++c)
            if (link(l, c))
                return true;
        return false;
    };
    auto countContacts = [&](int l, int from, int to, bool* hasEmpty) {
        int n = 0;
        *hasEmpty = false;
        for (int c = from; c <= to; ++c) {
            const LadderCell& cell = L.cell(l, c);
            if (isContact(cell.code))
                ++n;
            else if (isEmptyCell(cell))
                *hasEmpty = true;
        }
        return n;
    };
    auto visitRange = [&](int l, int from, int to) {
        for (int c = from; c <= to; ++c)
            net.visit(l, c);
    };

    bool any = false;
    int p = s;
    for (int c : cuts) {
        const int bot = spanBottom[c];
        const int end = std::min(c, kOutputColumn - 1);
        // Branches: the top line, then lines that close at this bus, each either a plain
        // series branch or a sub-region of its own.
        struct Branch { int line; int last; bool sub; };
        std::vector<Branch> branches{{top, top, false}};
        for (int j = top + 1; j <= bot; ++j) {
            if (net.isMasked(j) || isEmptyCell(L.cell(j, end)))
                continue;
            if (end > p && hasLinkIn(j, p, end - 1)) {
                int k = j;
                while (k < bottom && hasLinkIn(k, p, end - 1))
                    ++k;
                branches.push_back({j, k, true});
                j = k;
            } else {
                branches.push_back({j, j, false});
            }
        }
        if (branches.size() == 1) {
            // The bus only opens lines for the next segment: a series piece.
            bool hasEmpty = false;
            countContacts(top, p, end, &hasEmpty);
            if (hasEmpty)
                return fail(err::HorizontalNotConnected, top);
            bool w = false;
            if (!seriesChain(top, p, end, false, !any, &w))
                return false;
            any = any || w;
        } else {
            bool hasEmpty = false;
            const int n0 = countContacts(top, p, end, &hasEmpty);
            if (hasEmpty)
                return fail(err::HorizontalNotConnected, top);
            if (n0 == 0)
                return fail(err::WireParallel, top);
            if (!seriesChain(top, p, end, false, true, nullptr))
                return false;
            for (size_t b = 1; b < branches.size(); ++b) {
                const Branch& br = branches[b];
                if (!connectedLeft(br.line, p))
                    return fail(err::Unsupported, br.line);
                if (br.sub) {
                    bool w = false;
                    if (!region(net, br.line, br.last, p, end, false, &w))
                        return false;
                    if (!w)
                        return fail(err::WireParallel, br.line);
                    if (!emit(mnemonic::OR_STK, br.line))
                        return false;
                    continue;
                }
                const int n = countContacts(br.line, p, end, &hasEmpty);
                if (hasEmpty)
                    return fail(err::Incomplete, br.line);
                if (n == 0)
                    return fail(err::WireParallel, br.line);
                if (n == 1) {
                    visitRange(br.line, p, end);
                    for (int cc = p; cc <= end; ++cc) {
                        const LadderCell& cell = L.cell(br.line, cc);
                        if (isContact(cell.code)
                            && !writeContact(cell, br.line, mnemonic::OR, mnemonic::OR_NOT))
                            return false;
                        if (isCoil(cell.code) || isFunctionBlockCode(cell.code))
                            return fail(err::IllegalOutput, br.line);
                    }
                } else {
                    if (!seriesChain(br.line, p, end, false, true, nullptr))
                        return false;
                    if (!emit(mnemonic::OR_STK, br.line))
                        return false;
                }
            }
            if (p > s) {
                // Wire alone before the bus leaves AND.STK nothing to join the branches to.
                if (!any)
                    return fail(err::Unsupported, top);
                if (!emit(mnemonic::AND_STK, top))
                    return false;
            }
            any = true;
        }
        p = c + 1;
    }

    // Series tail after the last cut.
    const int tailEnd = std::min(e, kOutputColumn - 1);
    if (p <= tailEnd) {
        for (int l = top + 1; l <= bottom; ++l) {
            if (net.isMasked(l))
                continue;
            for (int c = p; c <= tailEnd; ++c) {
                if (!isEmptyCell(L.cell(l, c)))
                    return fail(isEmptyCell(L.cell(l, kOutputColumn)) ? err::Unnecessary : err::IllegalOutput, l);
            }
        }
        bool hasEmpty = false;
        countContacts(top, p, tailEnd, &hasEmpty);
        if (hasEmpty)
            return fail(any ? err::Incomplete : err::HorizontalNotConnected, top);
        bool w = false;
        if (!seriesChain(top, p, tailEnd, false, !any, &w))
            return false;
        any = any || w;
    }
    if (wrote)
        *wrote = any;
    return true;
}

bool NetworkWalker::contactNetwork(int a, int z)
{
    const LadderProgram& L = *m_ladder;
    if (a == z) {
        bool wrote = false;
        if (!seriesChain(a, 0, kOutputColumn - 1, false, true, &wrote))
            return false;
        if (!wrote)
            return fail(err::Unsupported, a);
        return coilRule(a, z, false);
    }

    Network net(a, z);
    m_net = &net;
    // Lines fed only by the output bus in column 8 carry further coils, not logic.
    int k = a;
    while (k < z && L.cell(k, kOutputColumn - 1).hasLink()) {
        net.useLink(k, kOutputColumn - 1);
        ++k;
    }
    for (int j = a + 1; j <= k; ++j) {
        if (!isCoil(L.cell(j, kOutputColumn).code)) {
            if (!isEmptyCell(L.cell(j, kOutputColumn - 1)))
                net.outputCutIsLogic = true;
            continue;
        }
        for (int c = 0; c < kOutputColumn; ++c) {
            const LadderCell& cell = L.cell(j, c);
            if (!isEmptyCell(cell) && !isWire(cell)) {
                m_net = nullptr;
                return fail(err::IllegalOutput, j);
            }
            net.visit(j, c);
        }
        net.masked[size_t(j - a)] = true;
    }
    bool wrote = false;
    const bool ok = region(net, a, z, 0, kOutputColumn - 1, true, &wrote);
    m_net = nullptr;
    if (!ok)
        return false;
    if (!wrote)
        return fail(err::Unsupported, a);
    for (int l = a; l <= z; ++l) {
        for (int c = 0; c < kOutputColumn; ++c) {
            const LadderCell& cell = L.cell(l, c);
            if (!isEmptyCell(cell) && !net.visited[size_t(l - a)][size_t(c)])
                return fail(err::Unnecessary, l);
            if (cell.hasLink() && !net.linkUsed[size_t(l - a)][size_t(c)])
                return fail(err::VerticalLine, l);
        }
    }
    return coilRule(a, z, false);
}

bool NetworkWalker::functionNetwork(int a, int z, int c)
{
    const LadderProgram& L = *m_ladder;
    const quint16 code = L.cell(a, c).code;
    const FunctionInstruction* info = functionInstruction(code);
    if (!info || blockLineOf(code) != 0 || blockColumnOf(code) != 0 || c + info->width > kColumns)
        return fail(err::BlockNotConnected, a);
    const quint16 b = info->code;
    const int w = info->width;
    if (z - a + 1 != info->height)
        return fail(err::BlockNotConnected, z);
    for (int l = a; l <= z; ++l)
        for (int col = c; col < c + w; ++col)
            if (L.cell(l, col).code != blockCellCode(b, l - a, col - c))
                return fail(err::BlockNotConnected, l);

    if (b == fn::END1)
        m_ladder->end1Line = qint16(a + 1);

    const LadderCell& c9 = L.cell(a, kOutputColumn);
    if (c + w <= kOutputColumn) {
        if (info->drivesCoil ? !isCoil(c9.code) : !isWire(c9))
            return fail(err::CoilNotOutput, a);
    }

    // A link left of the block would join condition lines (an OR the instruction line cannot
    // carry) or join them to the next network: refused rather than converted without it.
    // Right of the block a link in column 8 only admits a further coil (coil rule), and one
    // in column 9 is refused by the walk after the network.
    // A link with nothing on one of its ends joins nothing and is passed over.
    auto touches = [&](int l, int k) {
        if (l >= L.lineCount())
            return false;
        auto conducts = [&](int col) {
            const LadderCell& cell = L.cell(l, col);
            return isContact(cell.code) || isWire(cell);
        };
        return conducts(k - 1) || (k < kColumns && conducts(k));
    };
    for (int l = a; l <= z; ++l)
        for (int col = 0; col < c; ++col)
            if (L.cell(l, col).hasLink() && touches(l, col + 1) && touches(l + 1, col + 1))
                return fail(err::VerticalLine, l);

    for (int l = a; l <= z; ++l) {
        const bool inputLine = l - a < info->inputs;
        if (inputLine && info->conditions) {
            bool wrote = false;
            if (c == 0 || !seriesChain(l, 0, c - 1, true, true, &wrote))
                return failed() ? false : fail(err::Unsupported, l);
            if (!wrote)
                return fail(err::Unsupported, l);
            continue;
        }
        for (int col = 0; col < c; ++col) {
            const LadderCell& cell = L.cell(l, col);
            if (inputLine ? !(isEmptyCell(cell) || isWire(cell)) : !isEmptyCell(cell))
                return fail(inputLine ? err::Unnecessary : err::BlockNotConnected, l);
        }
    }

    std::vector<QByteArray> params;
    for (int col = c + 1; col < c + w; ++col) {
        const LadderCell& cell = L.cell(a, col);
        if (!cell.hasText())
            return fail(col == c + 1 ? err::NameMissing : err::ParameterMissing, a);
        params.push_back(cell.text().toUpper());
    }
    if (!emit(info->name, params, a))
        return false;
    if (b == fn::COD) {
        if (const auto gap = codTableGap(L, a))
            return fail(err::ParameterMissing, *gap);
    }

    for (int l = a; l <= z; ++l) {
        for (int col = c + w; col < kOutputColumn; ++col) {
            const LadderCell& cell = L.cell(l, col);
            if (l == a ? !isWire(cell) : !isEmptyCell(cell))
                return fail(err::BlockNotConnected, l);
        }
    }

    if (info->drivesCoil)
        return coilRule(a, z, true);
    for (int l = a + 1; l <= z; ++l)
        if (!isEmptyCell(L.cell(l, kOutputColumn)))
            return fail(err::CoilNotOutput, l);
    return true;
}

// Every cell of the table goes out, empty ones included, four to an instruction line: the
// assembler takes values only while its COD still expects entries, and each further CODT line
// ends a network, so the controller's step numbers depend on how many lines are written here.
bool NetworkWalker::codtLines(int a, int z)
{
    std::vector<QByteArray> chunk;
    chunk.reserve(kCodtValuesPerLine);
    int chunkLine = a;
    for (int l = a; l <= z; ++l) {
        for (int c = 0; c < kColumns; ++c) {
            const LadderCell& cell = m_ladder->cell(l, c);
            // An empty cell counts as an empty value; anything else has no place in a table.
            if (!isCodt(cell.code) && !isEmptyCell(cell))
                return fail(err::BlockNotConnected, l);
            if (chunk.empty())
                chunkLine = l;
            chunk.push_back(cell.text());
            if (chunk.size() == size_t(kCodtValuesPerLine)) {
                if (!emit(mnemonic::CODT, chunk, chunkLine))
                    return false;
                chunk.clear();
            }
        }
    }
    if (!chunk.empty())
        return emit(mnemonic::CODT, chunk, chunkLine);
    return true;
}

bool NetworkWalker::walk()
{
    LadderProgram& L = *m_ladder;
    const int n = L.lineCount();
    int i = 0;
    while (i < n && !failed()) {
        const LadderRow& row = L.line(i);
        bool onlyWires = true;
        for (const LadderCell& cell : row.cells)
            if (!isEmptyCell(cell) && !isWire(cell))
                onlyWires = false;
        if (onlyWires) {
            // Only links that could join contacts count; one in column 9 runs along the right
            // rail, which every line shares anyway.
            for (int c = 0; c < kOutputColumn; ++c)
                if (row[c].hasLink())
                    return fail(err::VerticalLine, i);
            ++i;
            continue;
        }

        int z = i;
        int blockCol = -1;
        if (isCodt(row[0].code)) {
            // A table group ends at the first line that is not table data; every group
            // consumes at least its first line, so the walk always advances.
            while (z + 1 < n && isCodt(L.line(z + 1)[0].code))
                ++z;
            blockCol = 0;
        }
        for (int j = i; blockCol < 0; ++j) {
            const LadderRow& r = L.line(j);
            const int bc = r.blockColumn();
            if (bc >= 0) {
                if (j != i)
                    return fail(err::Unsupported, j);
                blockCol = bc;
                const int h = std::max(1, blockShape(r[bc].code).height);
                z = std::min(i + h - 1, n - 1);
                break;
            }
            bool linked = false;
            for (int c = 0; c < kOutputColumn; ++c)
                linked = linked || r[c].hasLink();
            if (!linked || j + 1 >= n) {
                z = j;
                break;
            }
        }
        if (z - i >= kMaxNetworkSpan)
            return fail(err::NetworkTooLong, i);

        bool ok = false;
        if (blockCol < 0)
            ok = contactNetwork(i, z);
        else if (isCodt(row[0].code))
            ok = codtLines(i, z);
        else
            ok = functionNetwork(i, z, blockCol);
        if (!ok)
            return false;
        for (int l = i; l <= z; ++l)
            if (L.cell(l, kOutputColumn).hasLink())
                return fail(err::Unsupported, l);
        i = z + 1;
    }
    return !failed();
}

}  // namespace rungpad
