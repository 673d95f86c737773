// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/laddercompiler.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/address.h"
#include "rungpad/model/ladderdocument.h"

#include <QList>

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <functional>
#include <map>
#include <set>

namespace rungpad {

namespace {
template <typename... Args>
QByteArray formatText(const char* format, Args... args)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return QByteArray(buffer);
}
}  // namespace

int coilBitBase(char letter)
{
    switch (letter) {
    case 'Y': return 0;
    case 'G': return 1024;
    case 'R': return 3072;
    case 'K': return 11072;
    case 'A': return 11584;
    default: return -1;
    }
}

bool isReservedCoil(char letter, int byte, int bit)
{
    switch (letter) {
    case 'G': return byte == 63 && bit == 7;
    case 'K': return byte < 6;
    case 'R': return byte == 255 || byte == 990 || byte == 991;
    default: return false;
    }
}

bool assemblerOperandIsAddress(QByteArrayView text)
{
    return operandIsAddress(text);
}

bool editorParameterIsAddress(QByteArrayView format)
{
    bool ok = false;
    const int value = QByteArray(format.data(), format.size()).toInt(&ok);
    return ok && value >= 1000;
}

// ---------------------------------------------------------------------------------------
// Common

std::optional<ConvertError> LadderCompiler::lastError() const
{
    if (m_errors.empty())
        return std::nullopt;
    return m_errors.back();
}

bool LadderCompiler::fail(int code, int line, int detail)
{
    m_errors.push_back({code, std::max(0, line), detail});
    return false;
}

bool LadderCompiler::convert()
{
    m_errors.clear();
    m_lines.clear();
    m_image.clear();
    if (!m_ladder)
        return fail(err::End1End2, 0);
    const bool ok = preCheck() && walk() && assemble();
    if (!ok)
        m_image.clear();
    return ok;
}

bool convertDocument(LadderDocument& document, LadderCompiler& compiler)
{
    compiler.setLadder(&document.editLadder);
    const bool ok = compiler.convert();
    document.setConverted(ok);
    return ok;
}

// ---------------------------------------------------------------------------------------
// Stage 1: used numbers and coils

bool LadderCompiler::takeNumber(quint16 code, int n, int line)
{
    switch (kindOf(code)) {
    case fn::CTR:
        if (n < 0 || n >= 128)
            return fail(err::NumberOutOfRange, line, n);
        if (m_usedCtr.test(size_t(n)))
            return fail(err::CtrDuplicate, line, n);
        m_usedCtr.set(size_t(n));
        return true;
    case fn::TMR:
    case fn::TMRC:
    case fn::TMRB: {
        auto& table = kindOf(code) == fn::TMRB ? m_usedTmrb : m_usedTmr;
        if (n < 0 || n > 127)
            return fail(err::NumberOutOfRange, line, n);
        if (table.test(size_t(n)))
            return fail(err::TmrDuplicate, line, n);
        table.set(size_t(n));
        return true;
    }
    case fn::LBL:
    case fn::SP: {
        auto& table = kindOf(code) == fn::LBL ? m_usedLbl : m_usedSp;
        if (n < 0 || n >= 100)
            return fail(err::NumberOutOfRange, line, n);
        if (table.test(size_t(n)))
            return fail(kindOf(code) == fn::LBL ? err::JumpLabel : err::CallSpMisused, line, n);
        table.set(size_t(n));
        return true;
    }
    case fn::DIFU:
    case fn::DIFD:
        if (n < 0 || n >= 256 || m_usedDif.test(size_t(n)))
            return fail(err::DifMisused, line, n);
        m_usedDif.set(size_t(n));
        return true;
    default:
        return true;
    }
}

void LadderCompiler::releaseNumber(quint16 code, int n)
{
    switch (kindOf(code)) {
    case fn::CTR: if (n >= 0 && n < 128) m_usedCtr.reset(size_t(n)); break;
    case fn::TMR: case fn::TMRC: if (n >= 0 && n < 128) m_usedTmr.reset(size_t(n)); break;
    case fn::TMRB: if (n >= 0 && n < 128) m_usedTmrb.reset(size_t(n)); break;
    case fn::LBL: if (n >= 0 && n < 100) m_usedLbl.reset(size_t(n)); break;
    case fn::SP: if (n >= 0 && n < 100) m_usedSp.reset(size_t(n)); break;
    case fn::DIFU: case fn::DIFD: if (n >= 0 && n < 256) m_usedDif.reset(size_t(n)); break;
    default: break;
    }
}

bool LadderCompiler::checkCoil(const LadderCell& cell, int line)
{
    // A coil without address: the pre-check's letter test would call it 1006 (no coil letter)
    // while the coil rule calls it 1001 (address not set). We keep 1001 from the walk, the
    // message that tells the user what to fix.
    if (!cell.hasText())
        return true;
    const auto a = parseElementAddress(cell.text());
    if (!a || coilBitBase(a->letter) < 0 || isReservedCoil(a->letter, a->byte, a->bit))
        return fail(err::IllegalOutput, line);
    const int bit = coilBitBase(a->letter) + a->byte * 8 + a->bit;
    if (bit < 0 || bit >= kUsedCoilBits)
        return fail(err::IllegalOutput, line);
    if (m_usedCoils.test(size_t(bit)))
        return fail(err::CoilDuplicate, line);
    m_usedCoils.set(size_t(bit));
    return true;
}

namespace {
// Duplicates are judged by what the assembler writes, the cell's text; the number field
// beside it is only what a file claims. A text that is no number counts as out of range.
int numberWritten(const LadderCell& cell)
{
    bool ok = false;
    const int n = cell.text().trimmed().toInt(&ok);
    return ok ? n : -1;
}
}  // namespace

bool LadderCompiler::preCheck()
{
    m_usedCtr.reset();
    m_usedTmr.reset();
    m_usedTmrb.reset();
    m_usedLbl.reset();
    m_usedSp.reset();
    m_usedDif.reset();
    m_usedCoils.reset();
    m_sawEnd1 = m_sawEnd2 = false;
    if (!m_ladder)
        return false;
    const int n = m_ladder->lineCount();
    for (int i = 0; i < n; ++i) {
        const LadderRow& row = m_ladder->line(i);
        if (isCodt(row[0].code) || row[kOutputColumn].code == kEmpty)
            continue;
        if (kindOf(row[kOutputColumn].code) == kHorizontalWire) {
            const int c = row.blockColumn();
            if (c < 0 || blockLineOf(row[c].code) != 0 || blockColumnOf(row[c].code) != 0)
                continue;
            const quint16 kind = kindOf(row[c].code);
            if ((kind == fn::LBL || kind == fn::SP) && c + 1 < kColumns && row[c + 1].hasText()) {
                if (!takeNumber(kind, numberWritten(row[c + 1]), i))
                    return false;
            } else if (kind == fn::END1) {
                m_sawEnd1 = true;
            } else if (kind == fn::END2) {
                m_sawEnd2 = true;
            }
            continue;
        }
        for (int c = 1; c <= 7; ++c) {
            const quint16 code = row[c].code;
            if (code == 0x1001 || code == 0x1901 || code == 0x4202 || code == 0x4102 || code == 0x2701
                || code == 0x2801) {
                if (row[c].hasText() && !takeNumber(code, numberWritten(row[c]), i))
                    return false;
                break;
            }
        }
        if (isCoil(row[kOutputColumn].code) && !checkCoil(row[kOutputColumn], i))
            return false;
    }
    if (!m_sawEnd1 || !m_sawEnd2)
        return fail(err::End1End2, std::max(0, n - 1));
    return true;
}

// ---------------------------------------------------------------------------------------
// Stage 2: network walk

struct LadderCompiler::Network {
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

bool LadderCompiler::emit(QByteArrayView mnemonic, const std::vector<QByteArray>& operands, int line)
{
    QByteArray text = QByteArray(mnemonic.data(), mnemonic.size()).leftJustified(kMnemonicWidth, ' ');
    for (size_t i = 0; i < operands.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += operands[i];
    }
    if (text.size() > kMaxInstructionChars || int(m_lines.size()) >= kMaxInstructionLines)
        return fail(err::BeyondMaxLinesOrSteps, line);
    text += formatText("  %4d", line + 1);
    m_lines.push_back(std::move(text));
    return true;
}

bool LadderCompiler::writeContact(const LadderCell& cell, int line, const char* positive, const char* negative)
{
    if (!cell.hasText())
        return fail(err::AddressNotSet, line);
    const auto a = parseElementAddress(cell.text());
    if (!a)
        return fail(err::AddressMalformed, line);
    return emit(kindOf(cell.code) == kContactNO ? positive : negative, {formatAddress(*a)}, line);
}

// One line, columns s..e, as RD/AND chain. `first` false continues an open chain with AND.
bool LadderCompiler::seriesChain(int line, int s, int e, bool hasBlock, bool first, bool* wrote)
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

bool LadderCompiler::coilRule(int a, int z, bool functionNet)
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
        const auto addr = parseElementAddress(c9.text());
        if (!addr)
            return fail(err::IllegalOutput, l);
        if (!emit(kindOf(c9.code) == kCoil ? mnemonic::WRT : mnemonic::WRT_NOT, {formatAddress(*addr)}, l))
            return false;
    }
    return true;
}

// Region rule. Lines top..bottom, columns s..e; for a sub-region the bus closing it lies at
// column e and belongs to the enclosing segment.
bool LadderCompiler::region(Network& net, int top, int bottom, int s, int e, bool topLevel, bool* wrote)
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
                    if (!emit(mnemonic::OR_STK, {}, br.line))
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
                    if (!emit(mnemonic::OR_STK, {}, br.line))
                        return false;
                }
            }
            if (p > s) {
                // Wire alone before the bus leaves AND.STK nothing to join the branches to.
                if (!any)
                    return fail(err::Unsupported, top);
                if (!emit(mnemonic::AND_STK, {}, top))
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

bool LadderCompiler::contactNetwork(int a, int z)
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

bool LadderCompiler::functionNetwork(int a, int z, int c)
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
bool LadderCompiler::codtLines(int a, int z)
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

bool LadderCompiler::walk()
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

// ---------------------------------------------------------------------------------------
// Stage 3: assembler

namespace {
struct Tokens {
    std::vector<QByteArray> fields;   // mnemonic, operands...
    int line = 0;                     // 0-based ladder line
    const QByteArray& at(size_t i) const
    {
        static const QByteArray kNone;
        return i < fields.size() ? fields[i] : kNone;
    }
    size_t operandCount() const { return fields.empty() ? 0 : fields.size() - 1; }
};

Tokens splitLine(const QByteArray& text)
{
    Tokens t;
    const QList<QByteArray> parts = text.toUpper().split(' ');
    for (const QByteArray& p : parts)
        if (!p.isEmpty())
            t.fields.push_back(p);
    if (!t.fields.empty()) {
        t.line = t.fields.back().toInt() - 1;
        t.fields.pop_back();
    }
    return t;
}

std::optional<int> toNumber(const QByteArray& t)
{
    bool ok = false;
    const int v = t.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

// Sub-code of a constant-or-address operand: the format's first digit + 1, so 1 (constant)
// or 2 (address) for the formats the editor allows.
int formatOperandSub(const QByteArray& fmt)
{
    const char first = fmt.isEmpty() ? '0' : fmt[0];
    return (first >= '0' && first <= '9' ? first - '0' : 0) + 1;
}

int dataLength(const QByteArray& fmt)
{
    const int d = fmt.size() >= 4 ? fmt[3] - '0' : (fmt.isEmpty() ? 0 : fmt.back() - '0');
    return d == 3 ? 4 : d;
}

}  // namespace

bool LadderCompiler::assemble()
{
    struct Pending { int record; int number; int line; };
    std::vector<CodeRecord>& recs = m_image.records;
    std::vector<quint16>& words = m_image.dataWords;

    int netStart = 0;
    bool outputPending = false;
    bool comOpen = false;
    bool expectSp = false;
    bool end1Seen = false, end2Seen = false;
    int end1Record = -1, end2Record = -1;
    bool spOpen = false;
    int currentSp = -1;
    int spCount = 0, speCount = 0, sftCount = 0;
    int codExpected = 0, codSize = 0;
    quint32 dataBytes = 0;
    quint32 codAddress = kCodDataBase;
    std::bitset<256> difUsed;
    std::map<int, int> spRecord;                        // subprogram -> record index
    std::vector<int> spOrder;
    std::map<int, std::vector<std::pair<int, int>>> spCalls;   // subprogram -> (target, line)
    std::vector<Pending> calls, jumps;
    std::vector<int> spRecordList;
    std::multimap<int, int> labels;                     // label -> record index
    int labelCount = 0;

    auto add = [&](int opcode, int sub, int line) -> CodeRecord* {
        if (int(recs.size()) >= kMaxCodeRecords) {
            fail(err::BeyondMaxLinesOrSteps, line);
            return nullptr;
        }
        CodeRecord r;
        r.opcode = quint8(opcode);
        r.sub = quint8(sub);
        r.step = quint16(recs.size());
        recs.push_back(r);
        return &recs.back();
    };
    auto closeNetwork = [&](int line) {
        if (!add(op::NETWORK_END, 0, line))
            return false;
        netStart = int(recs.size());
        outputPending = false;
        return true;
    };
    auto addAddress = [&](int opcode, int sub, const QByteArray& text, int line) {
        const auto a = addressOperand(text);
        if (!a)
            return fail(err::AddressMalformed, line);
        CodeRecord* r = add(opcode, sub, line);
        if (!r)
            return false;
        setAddressOperand(*r, *a);
        return true;
    };
    // The sub-code comes from the format, the operand from the text: a file may hold an
    // address where its format announces a constant, and it still converts.
    auto addConstOrAddress = [&](int opcode, int sub, const QByteArray& text, int line) {
        if (assemblerOperandIsAddress(text))
            return addAddress(opcode, sub, text, line);
        // Not an address letter: it must be a number. A text such as A0001 would otherwise
        // go out as the constant 0.
        const auto v = toNumber(text);
        if (!v)
            return fail(err::AddressMalformed, line);
        CodeRecord* r = add(opcode, sub, line);
        if (!r)
            return false;
        r->setConstant(*v);
        return true;
    };
    auto operandSub = [](bool address) { return address ? kOperandAddress : kOperandConstant; };
    auto addData = [&](int value, int line) {
        if (codSize == 2) {
            if (dataBytes % 2 == 0) {
                if (words.size() >= size_t(kMaxDataWords))
                    return fail(err::CodDataFull, line);
                words.push_back(quint16(value));
            } else {
                if (words.size() >= size_t(kMaxDataWords))
                    return fail(err::CodDataFull, line);
                words.back() = quint16((words.back() & 0x00FF) | ((value & 0xFF) << 8));
                words.push_back(quint16((value >> 8) & 0xFF));
            }
            dataBytes += 2;
        } else {
            if (dataBytes % 2 == 0) {
                if (words.size() >= size_t(kMaxDataWords))
                    return fail(err::CodDataFull, line);
                words.push_back(quint16(value & 0xFF));
            } else {
                words.back() = quint16((words.back() & 0x00FF) | ((value & 0xFF) << 8));
            }
            dataBytes += 1;
        }
        return true;
    };

    for (const QByteArray& text : m_lines) {
        const Tokens t = splitLine(text);
        if (t.fields.empty())
            continue;
        const QByteArray& mn = t.fields[0];
        const int line = t.line;
        int opcode = opcodeOf(mn);
        const bool isTmrc = mn == "TMRC";

        if (expectSp && opcode != op::SP)
            return fail(err::OutsideExecutable, line);
        expectSp = false;
        if (comOpen && opcode > 24 && opcode != op::COME)
            return fail(err::ComComeMisused, line);

        const QByteArray& t1 = t.at(1);
        const QByteArray& t2 = t.at(2);
        const QByteArray& t3 = t.at(3);
        const QByteArray& t4 = t.at(4);
        const QByteArray& t5 = t.at(5);
        auto need = [&](size_t count) {
            return t.operandCount() >= count ? true : fail(err::ParameterMissing, line);
        };
        auto number = [&](const QByteArray& tok, int lo, int hi, int code) -> std::optional<int> {
            const auto v = toNumber(tok);
            if (!v || *v < lo || *v > hi) {
                fail(code, line);
                return std::nullopt;
            }
            return v;
        };

        switch (opcode) {
        case op::NO:
            break;   // WINDR, WINDW and anything unknown produce no record
        case op::RD:
        case op::RD_NOT:
            if (outputPending && !closeNetwork(line))
                return false;
            [[fallthrough]];
        case op::AND: case op::AND_NOT: case op::OR: case op::OR_NOT:
        case op::RD_STK: case op::RD_NOT_STK: {
            if (!need(1) || !parseElementAddress(t1))
                return failed() ? false : fail(err::AddressMalformed, line);
            if (!addAddress(opcode, kOperandAddress, t1, line))
                return false;
            break;
        }
        case op::WRT:
        case op::WRT_NOT:
            if (!need(1) || !parseElementAddress(t1))
                return failed() ? false : fail(err::AddressMalformed, line);
            if (!addAddress(opcode, kOperandAddress, t1, line))
                return false;
            outputPending = true;
            break;
        case op::SET:
        case op::RST:
            if (!need(1) || !addAddress(opcode, kOperandAddress, t1, line) || !closeNetwork(line))
                return false;
            break;
        case op::AND_STK:
        case op::OR_STK:
            if (!add(opcode, 0, line))
                return false;
            break;
        case op::END1:
            if (end1Seen || end2Seen)
                return fail(err::End1End2, line);
            if (recs.size() >= size_t(kMaxEnd1Records))
                return fail(err::FirstLevelTooBig, line);
            if (!add(opcode, 0, line))
                return false;
            end1Seen = true;
            end1Record = int(recs.size()) - 1;
            m_ladder->end1Step = qint16(recs.size() - 1);
            if (!closeNetwork(line))
                return false;
            break;
        case op::END2:
            // END2 ahead of END1 is caught by the instruction after it, which is not SP (1039).
            if (end2Seen)
                return fail(err::End1End2, line);
            if (!add(opcode, 0, line))
                return false;
            end2Seen = true;
            end2Record = int(recs.size()) - 1;
            if (!closeNetwork(line))
                return false;
            expectSp = true;
            break;
        case op::SPE:
            if (!spOpen)
                return fail(err::CallSpMisused, line);
            if (!add(opcode, 0, line) || !closeNetwork(line))
                return false;
            spOpen = false;
            currentSp = -1;
            ++speCount;
            expectSp = true;
            break;
        case op::SP: {
            if (!end2Seen || spOpen || !need(1))
                return failed() ? false : fail(err::CallSpMisused, line);
            const auto n = number(t1, 0, 99, err::NumberOutOfRange);
            if (!n)
                return false;
            CodeRecord* r = add(opcode, '2', line);
            if (!r)
                return false;
            r->setConstant(*n);
            if (!spRecord.count(*n)) {
                spRecord[*n] = int(recs.size()) - 1;
                spOrder.push_back(*n);
            }
            spRecordList.push_back(int(recs.size()) - 1);
            spOpen = true;
            currentSp = *n;
            ++spCount;
            if (!closeNetwork(line))
                return false;
            break;
        }
        case op::CALL:
        case op::CALLU: {
            if (!need(1))
                return false;
            const auto n = number(t1, 0, 99, err::NumberOutOfRange);
            if (!n)
                return false;
            CodeRecord* r = add(opcode, '2', line);
            if (!r)
                return false;
            r->setConstant(*n);
            calls.push_back({int(recs.size()) - 1, *n, line});
            if (currentSp >= 0)
                spCalls[currentSp].push_back({*n, line});
            if (!closeNetwork(line))
                return false;
            break;
        }
        case op::JMPB:
        case op::LBL: {
            if (!need(1))
                return false;
            const auto n = number(t1, 0, 99, err::NumberOutOfRange);
            if (!n)
                return false;
            if (opcode == op::JMPB ? jumps.size() >= size_t(kMaxJumps) : labelCount >= kMaxLabels)
                return fail(err::JumpLabel, line);
            CodeRecord* r = add(opcode, 'L', line);
            if (!r)
                return false;
            r->operand[0] = quint8(*n);
            if (opcode == op::JMPB) {
                jumps.push_back({int(recs.size()) - 1, *n, line});
            } else {
                labels.emplace(*n, int(recs.size()) - 1);
                ++labelCount;
            }
            if (!closeNetwork(line))
                return false;
            break;
        }
        case op::COM:
        case op::COME: {
            if (opcode == op::COME && !comOpen)
                return fail(err::ComComeMisused, line);
            if (!add(opcode, 51, line))
                return false;
            comOpen = opcode == op::COM;
            if (!closeNetwork(line))
                return false;
            break;
        }
        case op::TMR:
        case op::TMRC:
        case op::TMRB:
        case op::CTR: {
            if (isTmrc || opcode == op::TMRC) {
                if (!need(2))
                    return false;
                const auto prec = number(t1, 0, 255, err::DataBeyondLimit);
                const auto tn = prec ? number(t2, 0, 127, err::NumberOutOfRange) : std::nullopt;
                if (!tn)
                    return false;
                // TMRC runs as a TMR with its own precision.
                CodeRecord* r = add(op::TMR, *prec, line);
                if (!r)
                    return false;
                r->operand[0] = quint8(*tn);
            } else if (opcode == op::TMRB) {
                if (!need(3))
                    return false;
                const auto prec = number(t1, 0, 255, err::DataBeyondLimit);
                const auto tn = prec ? number(t2, 0, 127, err::NumberOutOfRange) : std::nullopt;
                const auto sv = tn ? number(t3, 0, 65535, err::DataBeyondLimit) : std::nullopt;
                if (!sv)
                    return false;
                CodeRecord* r = add(opcode, *prec, line);
                if (!r)
                    return false;
                r->operand[0] = quint8(*tn);
                r->setWord(2, quint16(*sv));
            } else {
                if (!need(1))
                    return false;
                const auto n = number(t1, 0, 127, err::NumberOutOfRange);
                if (!n)
                    return false;
                CodeRecord* r = add(opcode, opcode == op::TMR ? 5 : 0, line);
                if (!r)
                    return false;
                r->operand[0] = quint8(*n);
            }
            break;
        }
        case op::DIFU:
        case op::DIFD: {
            if (!need(1))
                return false;
            const auto n = toNumber(t1);
            if (!n || *n < 0 || *n >= 256 || difUsed.test(size_t(*n)))
                return fail(err::DifMisused, line);
            difUsed.set(size_t(*n));
            CodeRecord* r = add(opcode, 0, line);
            if (!r)
                return false;
            r->setWord(0, quint16(*n));
            r->setWord(2, quint16(netStart));
            break;
        }
        case op::COMP:
        case op::COIN:
            if (!need(3) || !addAddress(opcode, dataLength(t1), t3, line)
                || !addConstOrAddress(opcode, formatOperandSub(t1), t2, line))
                return false;
            break;
        case op::ADD: case op::SUB: case op::ANDF: case op::ORF: case op::EOR:
            if (!need(4) || !addAddress(opcode, dataLength(t1), t2, line)
                || !addConstOrAddress(opcode, formatOperandSub(t1), t3, line)
                || !addAddress(opcode, 0, t4, line))
                return false;
            if (opcode != op::ADD && opcode != op::SUB && !closeNetwork(line))
                return false;
            break;
        case op::NOT:
            if (!need(3) || !addAddress(opcode, dataLength(t1), t2, line) || !addAddress(opcode, 0, t3, line)
                || !closeNetwork(line))
                return false;
            break;
        case op::DEC: {
            if (!need(4))
                return false;
            const auto sub = number(t1, 0, 255, err::DataBeyondLimit);
            const auto k = sub ? number(t3, 0, 9999, err::DataBeyondLimit) : std::nullopt;
            if (!k || !addAddress(opcode, 0, t4, line) || !addAddress(opcode, *sub, t2, line))
                return false;
            CodeRecord* r = add(opcode, 0, line);
            if (!r)
                return false;
            r->setConstant(*k);
            if (!closeNetwork(line))
                return false;
            break;
        }
        case op::MOVN: {
            if (!need(3))
                return false;
            const auto b = number(t1, 1, 256, err::DataBeyondLimit);
            if (!b)
                return false;
            const bool addressSource = assemblerOperandIsAddress(t2);
            const auto dest = addressOperand(t3);
            if (!dest)
                return fail(err::AddressMalformed, line);
            if (!moveDestinationFits(fn::MOVN, t1, t2, t3))
                return fail(err::MovnRange, line);
            if (!addConstOrAddress(opcode, operandSub(addressSource), t2, line))
                return false;
            CodeRecord* r = add(opcode, 0, line);
            if (!r)
                return false;
            r->setWord(0, dest->code);
            r->setWord(2, quint16(*b));
            break;
        }
        case op::MOVB:
        case op::MOVW: {
            if (!need(2))
                return false;
            const bool addressSource = assemblerOperandIsAddress(t1);
            const auto dest = addressOperand(t2);
            if (!dest)
                return fail(err::AddressMalformed, line);
            if (!moveDestinationFits(opcode == op::MOVW ? fn::MOVW : fn::MOVB, {}, t1, t2))
                return fail(err::MovnRange, line);
            CodeRecord* r = add(opcode, addressSource ? kOperandAddress : kOperandConstant, line);
            if (!r)
                return false;
            if (addressSource) {
                const auto src = addressOperand(t1);
                if (!src)
                    return fail(err::AddressMalformed, line);
                r->setWord(0, src->code);
            } else {
                const auto v = toNumber(t1);
                if (!v || *v < 0 || *v > (opcode == op::MOVB ? 255 : 65535))
                    return fail(err::DataBeyondLimit, line);
                r->setWord(0, quint16(*v));
            }
            r->setWord(2, dest->code);
            break;
        }
        case op::AXCTL: {
            if (!need(2))
                return false;
            const auto g = number(t1, 4, 259, err::DataBeyondLimit);
            if (!g || !addAddress(opcode, *g - 4, t2, line))
                return false;
            break;
        }
        case op::DSCH:
        case op::XMOV:
            if (!need(5) || !addAddress(opcode, dataLength(t1), t2, line) || !addAddress(opcode, 0, t3, line)
                || !addAddress(opcode, 0, t4, line) || !addAddress(opcode, 0, t5, line))
                return false;
            break;
        case op::ROT:
            if (!need(4) || !addAddress(opcode, 0, t2, line) || !addAddress(opcode, 0, t3, line)
                || !addConstOrAddress(opcode, operandSub(assemblerOperandIsAddress(t1)), t1, line)
                || !addAddress(opcode, 0, t4, line))
                return false;
            break;
        case op::SFT: {
            if (!need(2))
                return false;
            if (sftCount >= kMaxSft)
                return fail(err::SftBeyondMax, line);
            const auto a = addressOperand(t1);
            if (!a || t2.size() < 4)
                return fail(err::AddressMalformed, line);
            CodeRecord* r = add(opcode, quint8(t2[3] - '0'), line);
            if (!r)
                return false;
            r->setWord(0, a->code);
            r->operand[2] = quint8(sftCount);
            r->operand[3] = quint8(t2[0] - '0');
            ++sftCount;
            break;
        }
        case op::COD: {
            if (!need(4))
                return false;
            const auto size = number(t1, 1, 2, err::DataBeyondLimit);
            const auto count = size ? number(t2, 1, 255, err::DataBeyondLimit) : std::nullopt;
            if (!count || !addAddress(opcode, *count, t4, line))
                return false;
            const auto in = addressOperand(t3);
            if (!in)
                return fail(err::AddressMalformed, line);
            CodeRecord* r = add(opcode, *size, line);
            if (!r)
                return false;
            r->setWord(0, in->code);
            r->setWord(2, quint16(codAddress));
            codAddress += quint32(*size * *count);
            codExpected = *count;
            codSize = *size;
            break;
        }
        case op::CODT: {
            if (codExpected <= 0) {
                if (!closeNetwork(line))
                    return false;
                break;
            }
            for (size_t k = 1; k <= t.operandCount() && codExpected > 0; ++k) {
                const QByteArray& v = t.at(k);
                const auto value = v.size() == 5 ? toNumber(v) : std::nullopt;
                if (!value || *value < 0 || *value > 65535)
                    return fail(err::AddressMalformed, line);
                if (!addData(*value, line))
                    return false;
                --codExpected;
            }
            break;
        }
        default:
            break;   // GET, REG and the placeholders are never written by the walk
        }
    }

    if (spCount != speCount)
        return fail(err::CallSpMisused, m_ladder->lineCount() - 1);

    // Call chains: a subprogram may not be re-entered through any depth of calls.
    std::set<int> onChain, done;
    std::function<bool(int)> follow = [&](int sp) -> bool {
        onChain.insert(sp);
        for (const auto& [target, line] : spCalls[sp]) {
            if (onChain.count(target))
                return fail(err::CallSpMisused, line);
            if (!done.count(target) && spRecord.count(target) && !follow(target))
                return false;
        }
        onChain.erase(sp);
        done.insert(sp);
        return true;
    };
    for (int sp : spOrder)
        if (!done.count(sp) && !follow(sp))
            return false;

    for (const Pending& c : calls) {
        const auto it = spRecord.find(c.number);
        if (it == spRecord.end())
            return fail(err::CallSpMisused, c.line);
        recs[size_t(c.record)].setWord(2, quint16(it->second));
    }

    auto lastSpBefore = [&](int record) {
        int found = -1;
        for (int r : spRecordList)
            if (r <= record)
                found = r;
        return found;
    };
    for (const Pending& j : jumps) {
        const auto it = labels.find(j.number);
        if (it == labels.end())
            return fail(err::JumpLabel, j.line);
        const int target = it->second;
        auto side = [](int r, int mark) { return mark >= 0 && r > mark; };
        if (side(j.record, end1Record) != side(target, end1Record)
            || side(j.record, end2Record) != side(target, end2Record)
            || (side(j.record, end2Record) && lastSpBefore(j.record) != lastSpBefore(target)))
            return fail(err::JumpLabel, j.line);
        recs[size_t(j.record)].setWord(2, quint16(target));
    }

    CodeRecord* term = add(op::TERMINATOR, op::TERMINATOR, m_ladder->lineCount() - 1);
    if (!term)
        return false;
    term->step = quint16(words.size());
    m_ladder->stepCount = qint16(recs.size() - 2);
    return true;
}

// ---------------------------------------------------------------------------------------
// Editor checks

bool LadderCompiler::numberHeld(quint16 code, int n) const
{
    switch (kindOf(code)) {
    case fn::CTR: return n >= 0 && n < 128 && m_usedCtr.test(size_t(n));
    case fn::TMR: case fn::TMRC: return n >= 0 && n < 128 && m_usedTmr.test(size_t(n));
    case fn::TMRB: return n >= 0 && n < 128 && m_usedTmrb.test(size_t(n));
    case fn::LBL: return n >= 0 && n < 100 && m_usedLbl.test(size_t(n));
    case fn::SP: return n >= 0 && n < 100 && m_usedSp.test(size_t(n));
    case fn::DIFU: case fn::DIFD: return n >= 0 && n < 256 && m_usedDif.test(size_t(n));
    default: return false;
    }
}

std::optional<ConvertError> LadderCompiler::checkNumber(const LadderCell& cell, int newNumber, int line)
{
    if (cell.hasText() && newNumber == cell.number)
        return std::nullopt;
    const bool oldHeld = cell.hasText() && numberHeld(cell.code, cell.number);
    if (oldHeld)
        releaseNumber(cell.code, cell.number);
    if (!takeNumber(cell.code, newNumber, line)) {
        const ConvertError refused = m_errors.back();
        if (oldHeld)
            takeNumber(cell.code, cell.number, line);   // the old number stays with its block
        return refused;
    }
    return std::nullopt;
}

std::optional<QByteArray> LadderCompiler::checkElementAddress(QByteArrayView text, bool coil, int line)
{
    const QByteArray upper = QByteArray(text.data(), text.size()).toUpper();
    const auto a = parseElementAddress(upper);
    if (!a) {
        fail(err::AddressMalformed, line);
        return std::nullopt;
    }
    if (coil) {
        if (!isCoilLetter(a->letter) || isReservedCoil(a->letter, a->byte, a->bit)) {
            fail(err::AddressMalformed, line);
            return std::nullopt;
        }
        if (m_ladder) {
            for (int l = 0; l < m_ladder->lineCount(); ++l) {
                if (l == line)
                    continue;
                for (int c = 0; c < kColumns; ++c) {
                    const LadderCell& cell = m_ladder->cell(l, c);
                    if (isCoil(cell.code) && parseElementAddress(cell.text()) == a) {
                        fail(err::AddressMalformed, line);
                        return std::nullopt;
                    }
                }
            }
        }
    }
    return formatAddress(*a);
}

namespace {
enum class Rule {
    Number,          // lo..hi
    Format,          // 1, 2, 1001, 1002
    SmallFormat,     // 1..2
    Address,
    Writable,
    ConstOrAddress,  // constant lo..hi or address, as the text reads
    ByFormat,        // constant lo..hi or address, as the block's format announces
    CdDcAddress,
    DAddress,
    BitWritable,
    SftFormat,
    Free,
};
struct ParamRule { Rule rule; int lo = 0; int hi = 0; };

ParamRule ruleFor(quint16 instruction, int column)
{
    switch (kindOf(instruction)) {
    case fn::CTR: case fn::TMR: return {Rule::Number, 0, 127};
    case fn::TMRB:
        return column == 1 ? ParamRule{Rule::Number, 0, 5}
             : column == 2 ? ParamRule{Rule::Number, 0, 127} : ParamRule{Rule::Number, 0, 65535};
    case fn::TMRC: return column == 1 ? ParamRule{Rule::Number, 0, 5} : ParamRule{Rule::Number, 0, 127};
    case fn::COMP: case fn::COIN:
        return column == 1 ? ParamRule{Rule::Format} : column == 2 ? ParamRule{Rule::ByFormat, 0, 65535}
                                                                   : ParamRule{Rule::Address};
    case fn::ADD: case fn::SUB: case fn::EOR: case fn::ANDF: case fn::ORF:
        return column == 1 ? ParamRule{Rule::Format} : column == 2 ? ParamRule{Rule::Address}
             : column == 3 ? ParamRule{Rule::ByFormat, 0, 65535} : ParamRule{Rule::Writable};
    case fn::MOVN:
        return column == 1 ? ParamRule{Rule::Number, 1, 256}
             : column == 2 ? ParamRule{Rule::ConstOrAddress, 0, 65535} : ParamRule{Rule::Writable};
    case fn::MOVB: return column == 1 ? ParamRule{Rule::ConstOrAddress, 0, 255} : ParamRule{Rule::Writable};
    case fn::MOVW: return column == 1 ? ParamRule{Rule::ConstOrAddress, 0, 65535} : ParamRule{Rule::Writable};
    case fn::DSCH:
        return column == 1 ? ParamRule{Rule::SmallFormat} : column == 2 ? ParamRule{Rule::CdDcAddress}
             : column == 3 ? ParamRule{Rule::DAddress} : column == 4 ? ParamRule{Rule::Address}
                           : ParamRule{Rule::Writable};
    case fn::XMOV:
        return column == 1 ? ParamRule{Rule::SmallFormat} : column == 2 ? ParamRule{Rule::CdDcAddress}
             : column == 3 ? ParamRule{Rule::DAddress} : column == 4 ? ParamRule{Rule::Writable}
                           : ParamRule{Rule::CdDcAddress};
    case fn::DEC:
        return column == 1 ? ParamRule{Rule::SmallFormat} : column == 2 ? ParamRule{Rule::Address}
             : column == 3 ? ParamRule{Rule::Number, 0, 9999} : ParamRule{Rule::Writable};
    case fn::COD:
        return column == 1 ? ParamRule{Rule::SmallFormat} : column == 2 ? ParamRule{Rule::Number, 1, 100}
             : column == 3 ? ParamRule{Rule::Address} : ParamRule{Rule::Writable};
    case fn::NOT:
        return column == 1 ? ParamRule{Rule::SmallFormat} : column == 2 ? ParamRule{Rule::Address}
                                                                        : ParamRule{Rule::Writable};
    case fn::ROT: return column <= 3 ? ParamRule{Rule::Address} : ParamRule{Rule::Writable};
    case fn::SFT: return column == 1 ? ParamRule{Rule::Writable} : ParamRule{Rule::SftFormat};
    case fn::CALL: case fn::CALLU: case fn::SP: case fn::JMPB: case fn::LBL: return {Rule::Number, 0, 99};
    case fn::DIFU: case fn::DIFD: return {Rule::Number, 0, 255};
    case fn::SET: case fn::RST: return {Rule::BitWritable};
    case fn::AXCTL: return column == 1 ? ParamRule{Rule::Number, 5, 5} : ParamRule{Rule::DAddress};
    case fn::WINDR: case fn::WINDW: return {Rule::Address};
    case fn::CODT: return {Rule::Number, 0, 65535};
    default: return {Rule::Free};
    }
}

int maxParameterNumber(QByteArrayView prefix)
{
    if (prefix == "A" || prefix == "K") return 63;
    if (prefix == "C" || prefix == "T" || prefix == "X" || prefix == "Y" || prefix == "DC" || prefix == "DT")
        return 127;
    if (prefix == "D" || prefix == "F" || prefix == "G") return 255;
    if (prefix == "R") return 999;
    return -1;
}
}  // namespace

std::optional<QByteArray> LadderCompiler::checkParameter(quint16 instruction, int blockColumn, QByteArrayView text,
                                                          int line, QByteArrayView format)
{
    const QByteArray t = QByteArray(text.data(), text.size()).toUpper();
    const ParamRule rule = ruleFor(instruction, blockColumn);
    auto bad = [&](int code) -> std::optional<QByteArray> {
        fail(code, line);
        return std::nullopt;
    };
    auto number = [&](int lo, int hi, int width) -> std::optional<QByteArray> {
        bool ok = false;
        const int v = t.toInt(&ok);
        if (!ok || t.contains('+') || t.contains(' '))
            return bad(err::AddressMalformed);
        if (v < lo || v > hi)
            return bad(err::DataBeyondLimit);
        return formatText("%0*d", width, v);
    };
    // Letter(s), digits, optional point and bit.
    auto address = [&](bool writable, bool needBit) -> std::optional<QByteArray> {
        if (t.isEmpty() || !std::isalpha(static_cast<unsigned char>(t[0])))
            return bad(err::AddressMalformed);
        const int prefixLen = t.startsWith("DC") || t.startsWith("DT") ? 2 : 1;
        const QByteArray prefix = t.left(prefixLen);
        const int maxN = maxParameterNumber(prefix);
        if (maxN < 0)
            return bad(err::DataBeyondLimit);
        const QByteArray rest = t.mid(prefixLen);
        const qsizetype point = rest.indexOf('.');
        const QByteArray digits = point >= 0 ? rest.left(point) : rest;
        bool ok = false;
        const int n = digits.toInt(&ok);
        if (!ok || digits.isEmpty() || digits.size() > 4 || digits.contains('-') || digits.contains('+'))
            return bad(err::AddressMalformed);
        int bit = -1;
        if (point >= 0) {
            if (rest.size() != point + 2 || rest[point + 1] < '0' || rest[point + 1] > '7')
                return bad(err::AddressMalformed);
            bit = rest[point + 1] - '0';
        }
        if (needBit && bit < 0)
            return bad(err::AddressMalformed);
        if (n > maxN)
            return bad(err::DataBeyondLimit);
        if (writable) {
            const char l = prefix[0];
            const bool letterOk = prefixLen == 1 && (isCoilLetter(l) || l == 'C' || l == 'D' || l == 'T');
            if (!letterOk || (l == 'K' && n < 6) || (l == 'R' && (n == 990 || n == 991 || (needBit && n == 255)))
                || (l == 'G' && n == 63))
                return bad(err::AddressMalformed);
            if (needBit && !isCoilLetter(l))
                return bad(err::AddressMalformed);
        }
        if (bit >= 0)
            return formatAddress(prefix[0], n, bit);
        return prefix + formatText("%04d", n);
    };

    switch (rule.rule) {
    case Rule::Number: return number(rule.lo, rule.hi, kindOf(instruction) == fn::CODT ? 5 : 4);
    case Rule::Format: {
        const auto v = number(1, 1002, 4);
        if (!v)
            return v;
        const int n = v->toInt();
        if (n != 1 && n != 2 && n != 1001 && n != 1002)
            return bad(err::DataBeyondLimit);
        return v;
    }
    case Rule::SmallFormat: return number(1, 2, 4);
    case Rule::SftFormat: {
        const auto v = number(0, 1008, 4);
        if (!v)
            return v;
        const int n = v->toInt();
        // First digit: shift direction (0 or 1); last digit: length 1..8.
        if (n % 1000 < 1 || n % 1000 > 8)
            return bad(err::DataBeyondLimit);
        return v;
    }
    case Rule::Address: return address(false, false);
    case Rule::Writable: return address(true, false);
    case Rule::BitWritable: return address(true, true);
    case Rule::ByFormat:
        if (!format.isEmpty())
            return editorParameterIsAddress(format) ? address(false, false) : number(rule.lo, rule.hi, 4);
        [[fallthrough]];
    case Rule::ConstOrAddress:
        // The assembler's own decision, so both read the field alike.
        if (operandIsAddress(t))
            return address(false, false);
        return number(rule.lo, rule.hi, 4);
    case Rule::CdDcAddress:
        if (!(t.startsWith('C') || t.startsWith("DC") || (t.startsWith('D') && !t.startsWith("DT"))))
            return bad(err::AddressMalformed);
        return address(false, false);
    case Rule::DAddress:
        if (!t.startsWith('D') || t.startsWith("DC") || t.startsWith("DT"))
            return bad(err::AddressMalformed);
        return address(false, false);
    case Rule::Free:
        break;
    }
    return t.left(kCellTextMax);
}

}  // namespace rungpad
