// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seeded random-ladder generators the converter tests share (the random-ladder and
// semantics tests and the golden digests): the same seed always draws the same ladders.
#include "rungpad/compiler/instructions.h"
#include "rungpad/model/address.h"
#include "rungpad/model/ladder.h"

#include "ladder_helpers.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <iterator>
#include <random>

namespace rungpad::testing {

// Mostly sound ladders with a few faults sprinkled in, so that conversions reach every
// stage: each line is drawn clean or with one random defect.
class LadderGenerator {
public:
    explicit LadderGenerator(unsigned seed) : m_rng(seed) {}

    LadderProgram next()
    {
        LadderProgram p;
        m_coil = 0;
        m_number = 0;
        m_defects = pick(0, 2);
        const int lines = pick(1, 16);
        while (p.lineCount() < lines) {
            const int kind = pick(0, 9);
            if (kind <= 4)
                addContactNetwork(p);
            else if (kind <= 7)
                addBlock(p, randomBlockCode());
            else if (kind == 8 && pick(0, 3) == 0)
                addBlock(p, pick(0, 1) ? fn::END1 : fn::END2);
            else if (pick(0, 4) == 0)
                addCodt(p);
        }
        if (pick(0, 5) != 0) {
            addBlock(p, fn::END1);
            addBlock(p, fn::END2);
        }
        if (pick(0, 3) == 0) {
            addBlock(p, fn::SP);
            addContactNetwork(p);
            addBlock(p, fn::SPE);
        }
        p.recomputeTableRows();
        return p;
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    bool defect() { return m_defects > 0 && pick(0, 12) == 0 && m_defects-- > 0; }
    quint16 randomBlockCode()
    {
        static const quint16 kCommon[] = {fn::TMR, fn::CTR, fn::SET, fn::RST, fn::DIFU, fn::ADD, fn::COMP,
                                          fn::MOVN, fn::TMRB, fn::COD, fn::SFT, fn::JMPB, fn::LBL, fn::CALL};
        if (pick(0, 3) == 0)
            return functionCodeOfIndex(pick(0, kFunctionInstructionCount - 1));
        return kCommon[pick(0, int(std::size(kCommon)) - 1)];
    }
    QByteArray contactAddress()
    {
        static const char kLetters[] = "XYFGRKA";
        if (defect())
            return pick(0, 1) ? QByteArray() : QByteArray("Q9.9");
        const char letter = kLetters[pick(0, 6)];
        return formatAddress(letter, pick(0, std::min(127, maxElementByte(letter))), pick(0, 7));
    }
    QByteArray coilAddress()
    {
        if (defect())
            return pick(0, 1) ? QByteArray("K001.0") : formatAddress('R', 100, 0);
        const int n = m_coil++;
        return formatAddress('R', 100 + n / 8, n % 8);
    }
    LadderCell contact()
    {
        LadderCell c;
        c.code = pick(0, 2) ? kContactNO : kContactNC;
        c.setText(contactAddress());
        c.number = cellNumberOfText(c.text());
        return c;
    }
    LadderCell wire()
    {
        LadderCell c;
        c.code = kHorizontalWire;
        return c;
    }
    LadderCell coil()
    {
        LadderCell c;
        c.code = pick(0, 4) ? kCoil : kCoilNot;
        c.setText(coilAddress());
        c.number = cellNumberOfText(c.text());
        return c;
    }
    void maybeBreak(LadderRow& row)
    {
        if (!defect())
            return;
        const int c = pick(0, 9);
        switch (pick(0, 3)) {
        case 0: row[c] = LadderCell{}; break;
        case 1: row[c].verticalLink = !row[c].verticalLink; break;
        case 2: row[c] = contact(); break;
        default: row[c] = coil(); break;
        }
    }
    // One line, or a line with parallel branches closed by buses.
    void addContactNetwork(LadderProgram& p)
    {
        LadderRow top;
        for (int c = 0; c < 9; ++c)
            top[c] = pick(0, 2) ? contact() : wire();
        top[0] = contact();
        top[9] = coil();
        std::vector<LadderRow> rows{top};
        const int branches = pick(0, 3) == 0 ? pick(1, 3) : 0;
        if (branches > 0) {
            const int from = pick(0, 5);
            const int to = pick(from, 7);
            if (from > 0)
                rows[0][from - 1].verticalLink = 1;
            for (int b = 0; b < branches; ++b) {
                LadderRow r;
                for (int c = from; c <= to; ++c)
                    r[c] = pick(0, 1) ? contact() : wire();
                r[from] = contact();
                rows.back()[to].verticalLink = 1;
                if (from > 0)
                    rows.back()[from - 1].verticalLink = 1;
                rows.push_back(r);
            }
        }
        if (pick(0, 4) == 0) {
            rows.back()[8].verticalLink = 1;
            for (size_t i = 0; i + 1 < rows.size(); ++i)
                rows[i][8].verticalLink = 1;
            LadderRow out;
            for (int c = 0; c < 9; ++c)
                out[c] = wire();
            out[9] = coil();
            rows.push_back(out);
        }
        for (LadderRow& r : rows) {
            maybeBreak(r);
            if (!p.appendLoadedLine(r))
                return;
        }
    }
    QByteArray parameter(quint16 code, int column)
    {
        if (defect())
            return pick(0, 1) ? QByteArray() : QByteArray("9999");
        switch (kindOf(code)) {
        case fn::TMR: case fn::CTR: case fn::DIFU: case fn::DIFD: case fn::LBL: case fn::SP: case fn::CALL:
        case fn::CALLU: case fn::JMPB:
            return QByteArray::number(kindOf(code) == fn::LBL || kindOf(code) == fn::JMPB ? pick(0, 3)
                                      : kindOf(code) == fn::SP || kindOf(code) == fn::CALL ? 1 : m_number++)
                .rightJustified(4, '0');
        case fn::TMRB: case fn::TMRC:
            return column == 2 ? QByteArray::number(m_number++).rightJustified(4, '0') : QByteArray("0001");
        case fn::SET: case fn::RST: return coilAddress();
        case fn::SFT: return column == 1 ? QByteArray("R0200") : QByteArray("0001");
        case fn::MOVN: return column == 1 ? QByteArray("0002") : column == 2 ? QByteArray("R0010") : QByteArray("R0020");
        case fn::COD: return column == 1 ? QByteArray("0002") : column == 2 ? QByteArray("0003") : QByteArray("D0010");
        case fn::AXCTL: return column == 1 ? QByteArray("0005") : QByteArray("D0010");
        default: return column == 1 ? QByteArray("0002") : QByteArray("D") + QByteArray::number(pick(0, 20)).rightJustified(4, '0');
        }
    }
    void addBlock(LadderProgram& p, quint16 code)
    {
        const FunctionInstruction* f = functionInstruction(code);
        if (!f || f->height == 0) {
            addCodt(p);
            return;
        }
        const int start = blockStartColumn(f->width);
        const int height = defect() ? pick(1, 5) : f->height;
        for (int l = 0; l < height; ++l) {
            LadderRow row;
            for (int c = 0; c < kColumns; ++c) {
                LadderCell& cell = row[c];
                if (c >= start && c < start + f->width) {
                    cell.code = blockCellCode(f->code, l, c - start);
                    if (l == 0)
                        cell.setText(c == start ? QByteArray(f->name) : parameter(f->code, c - start));
                } else if (c < start && l < f->inputs) {
                    cell = f->conditions ? (c == 0 || pick(0, 2) == 0 ? contact() : wire()) : wire();
                } else if (c >= start + f->width && l == 0 && c < 9) {
                    cell = wire();
                }
                cell.number = cellNumberOfText(cell.text());
            }
            if (l == 0)
                row[9] = f->drivesCoil ? coil() : wire();
            maybeBreak(row);
            if (!p.appendLoadedLine(row))
                return;
        }
        if (kindOf(code) == fn::COD)
            addCodt(p);
    }
    void addCodt(LadderProgram& p)
    {
        LadderRow row;
        for (int c = 0; c < kColumns; ++c) {
            row[c].code = blockCellCode(fn::CODT, 0, c);
            if (c < 3 || pick(0, 3) == 0)
                row[c].setText(QByteArray::number(pick(0, defect() ? 99999 : 65535)).rightJustified(5, '0'));
        }
        p.appendLoadedLine(row);
    }

    std::mt19937 m_rng;
    int m_coil = 0;
    int m_number = 0;
    int m_defects = 0;
};

inline constexpr int kNetworkDrawerInputs = 6;   // X000.0 .. X000.5

// Contact networks of one to four lines: each line a run of contacts and wires from the rail
// with a random end, links between lines in random columns, a coil on the first line and
// sometimes further coils fed by the output bus. Most draws are refused by the converter;
// those it accepts are the interesting ones.
class NetworkDrawer {
public:
    explicit NetworkDrawer(unsigned seed) : m_rng(seed) {}

    QString next()
    {
        QString text;
        int coil = 0;
        const int networks = pick(1, 2);
        for (int n = 0; n < networks; ++n)
            text += network(coil);
        return text + QString::fromLatin1(kEnds);
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

    QString contact()
    {
        const QString address = QStringLiteral("X000.%1").arg(pick(0, kNetworkDrawerInputs - 1));
        return pick(0, 3) == 0 ? QLatin1Char('/') + address : address;
    }

    QString network(int& coil)
    {
        const int lines = pick(1, 4);
        const int width = pick(1, 8);   // columns that may hold contacts
        std::vector<std::array<QString, kColumns>> grid(static_cast<size_t>(lines));
        std::vector<std::array<bool, kColumns>> links(static_cast<size_t>(lines));
        for (auto& l : links)
            l.fill(false);
        for (int l = 0; l < lines; ++l) {
            // The first line runs to the coil; a lower one is a branch from column `begin`
            // (hanging from a bus of the line above when not at the rail) to a closing bus
            // after column `end` - 1, mostly; sometimes its links are left to chance.
            const int begin = l > 0 && pick(0, 1) ? pick(0, width - 1) : 0;
            const int end = l == 0 ? kOutputColumn : pick(begin + 1, std::min(width + 1, kOutputColumn - 1));
            if (l > 0 && pick(0, 4) != 0) {
                if (begin > 0)
                    links[size_t(l - 1)][size_t(begin - 1)] = true;
                links[size_t(l - 1)][size_t(end - 1)] = true;
            } else if (l > 0) {
                links[size_t(l - 1)][size_t(pick(0, std::min(width, kOutputColumn - 1)))] = true;
            }
            for (int c = 0; c < kOutputColumn; ++c) {
                QString& cell = grid[size_t(l)][size_t(c)];
                if (l > 0 && (c < begin || c >= end))
                    cell = QStringLiteral(".");
                else if (c < width)
                    cell = pick(0, 2) == 0 ? QStringLiteral("-") : contact();
                else
                    cell = QStringLiteral("-");
            }
            grid[size_t(l)][kOutputColumn] = QStringLiteral(".");
        }
        grid[0][kOutputColumn] = coilText(coil);
        // Further coils on the output bus.
        for (int l = 1; l < lines && pick(0, 3) == 0; ++l) {
            bool bus = true;
            for (int k = 0; k < l; ++k)
                links[size_t(k)][kOutputColumn - 1] = true;
            for (int c = 0; c < kOutputColumn; ++c)
                bus = bus && grid[size_t(l)][size_t(c)] == QStringLiteral(".");
            if (bus)
                grid[size_t(l)][kOutputColumn] = coilText(coil);
            break;
        }
        QString out;
        for (int l = 0; l < lines; ++l) {
            QStringList cells;
            for (int c = 0; c < kColumns; ++c)
                cells << grid[size_t(l)][size_t(c)] + (links[size_t(l)][size_t(c)] ? QStringLiteral("+") : QString());
            out += cells.join(QLatin1Char(' ')) + QLatin1Char('\n');
        }
        return out;
    }

    QString coilText(int& coil)
    {
        const int n = coil++;
        return QStringLiteral("(%1Y%2.%3)").arg(pick(0, 4) == 0 ? QStringLiteral("/") : QString())
            .arg(n / 8, 3, 10, QLatin1Char('0')).arg(n % 8);
    }

    std::mt19937 m_rng;
};

}  // namespace rungpad::testing
