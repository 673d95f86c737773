// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/editorchecks.h"

#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/model/address.h"

#include <cctype>
#include <cstdio>

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

std::optional<ConvertError> checkNumberChange(UsedNumbers& numbers, const LadderCell& cell, int newNumber, int line,
                                              ErrorSink& errors)
{
    if (cell.hasText() && newNumber == cell.number)
        return std::nullopt;
    const bool oldHeld = cell.hasText() && numbers.held(cell.code, cell.number);
    if (oldHeld)
        numbers.release(cell.code, cell.number);
    if (const auto error = numbers.take(cell.code, newNumber)) {
        errors.fail(*error, line, newNumber);
        if (oldHeld)
            numbers.take(cell.code, cell.number);   // the old number stays with its block
        return errors.last();
    }
    return std::nullopt;
}

std::optional<QByteArray> checkElementText(const LadderProgram* ladder, QByteArrayView text, bool coil, int line,
                                           ErrorSink& errors)
{
    const QByteArray upper = QByteArray(text.data(), text.size()).toUpper();
    const auto a = parseElementAddress(upper);
    if (!a) {
        errors.fail(err::AddressMalformed, line);
        return std::nullopt;
    }
    if (coil) {
        if (!isCoilLetter(a->letter) || isReservedCoil(a->letter, a->byte, a->bit)) {
            errors.fail(err::AddressMalformed, line);
            return std::nullopt;
        }
        if (ladder) {
            for (int l = 0; l < ladder->lineCount(); ++l) {
                if (l == line)
                    continue;
                for (int c = 0; c < kColumns; ++c) {
                    const LadderCell& cell = ladder->cell(l, c);
                    if (isCoil(cell.code) && parseElementAddress(cell.text()) == a) {
                        errors.fail(err::AddressMalformed, line);
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
struct ParamRule { Rule rule; NumberRange range{0, 0}; };

ParamRule ruleFor(quint16 instruction, int column)
{
    switch (kindOf(instruction)) {
    case fn::CTR: case fn::TMR: return {Rule::Number, editorRange::TimerCounter};
    case fn::TMRB:
        return column == 1 ? ParamRule{Rule::Number, editorRange::TimerPrecision}
             : column == 2 ? ParamRule{Rule::Number, editorRange::TimerCounter}
                           : ParamRule{Rule::Number, editorRange::TimerPreset};
    case fn::TMRC:
        return column == 1 ? ParamRule{Rule::Number, editorRange::TimerPrecision}
                           : ParamRule{Rule::Number, editorRange::TimerCounter};
    case fn::COMP: case fn::COIN:
        return column == 1 ? ParamRule{Rule::Format} : column == 2 ? ParamRule{Rule::ByFormat, editorRange::Word}
                                                                   : ParamRule{Rule::Address};
    case fn::ADD: case fn::SUB: case fn::EOR: case fn::ANDF: case fn::ORF:
        return column == 1 ? ParamRule{Rule::Format} : column == 2 ? ParamRule{Rule::Address}
             : column == 3 ? ParamRule{Rule::ByFormat, editorRange::Word} : ParamRule{Rule::Writable};
    case fn::MOVN:
        return column == 1 ? ParamRule{Rule::Number, editorRange::MoveCount}
             : column == 2 ? ParamRule{Rule::ConstOrAddress, editorRange::Word} : ParamRule{Rule::Writable};
    case fn::MOVB: return column == 1 ? ParamRule{Rule::ConstOrAddress, editorRange::Byte} : ParamRule{Rule::Writable};
    case fn::MOVW: return column == 1 ? ParamRule{Rule::ConstOrAddress, editorRange::Word} : ParamRule{Rule::Writable};
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
             : column == 3 ? ParamRule{Rule::Number, editorRange::DecodeConstant} : ParamRule{Rule::Writable};
    case fn::COD:
        return column == 1 ? ParamRule{Rule::SmallFormat}
             : column == 2 ? ParamRule{Rule::Number, editorRange::CodCapacity}
             : column == 3 ? ParamRule{Rule::Address} : ParamRule{Rule::Writable};
    case fn::NOT:
        return column == 1 ? ParamRule{Rule::SmallFormat} : column == 2 ? ParamRule{Rule::Address}
                                                                        : ParamRule{Rule::Writable};
    case fn::ROT: return column <= 3 ? ParamRule{Rule::Address} : ParamRule{Rule::Writable};
    case fn::SFT: return column == 1 ? ParamRule{Rule::Writable} : ParamRule{Rule::SftFormat};
    case fn::CALL: case fn::CALLU: case fn::SP: case fn::JMPB: case fn::LBL:
        return {Rule::Number, editorRange::ProgramNumber};
    case fn::DIFU: case fn::DIFD: return {Rule::Number, editorRange::EdgeNumber};
    case fn::SET: case fn::RST: return {Rule::BitWritable};
    case fn::AXCTL: return column == 1 ? ParamRule{Rule::Number, editorRange::AxisGroup} : ParamRule{Rule::DAddress};
    case fn::WINDR: case fn::WINDW: return {Rule::Address};
    case fn::CODT: return {Rule::Number, editorRange::TableValue};
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

std::optional<QByteArray> checkParameterText(quint16 instruction, int blockColumn, QByteArrayView text,
                                             QByteArrayView format, int line, ErrorSink& errors)
{
    const QByteArray t = QByteArray(text.data(), text.size()).toUpper();
    const ParamRule rule = ruleFor(instruction, blockColumn);
    auto bad = [&](int code) -> std::optional<QByteArray> {
        errors.fail(code, line);
        return std::nullopt;
    };
    auto number = [&](NumberRange range, int width) -> std::optional<QByteArray> {
        bool ok = false;
        const int v = t.toInt(&ok);
        if (!ok || t.contains('+') || t.contains(' '))
            return bad(err::AddressMalformed);
        if (v < range.lo || v > range.hi)
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
    case Rule::Number: return number(rule.range, kindOf(instruction) == fn::CODT ? 5 : 4);
    case Rule::Format: {
        const auto v = number(editorRange::Format, 4);
        if (!v)
            return v;
        const int n = v->toInt();
        if (n != 1 && n != 2 && n != 1001 && n != 1002)
            return bad(err::DataBeyondLimit);
        return v;
    }
    case Rule::SmallFormat: return number(editorRange::SmallFormat, 4);
    case Rule::SftFormat: {
        const auto v = number(editorRange::ShiftFormat, 4);
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
            return editorParameterIsAddress(format) ? address(false, false) : number(rule.range, 4);
        [[fallthrough]];
    case Rule::ConstOrAddress:
        // The assembler's own decision, so both read the field alike.
        if (operandIsAddress(t))
            return address(false, false);
        return number(rule.range, 4);
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
