// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/codeimage.h"

namespace rungpad {

void CodeRecord::setConstant(qint32 value)
{
    const quint32 v = quint32(value);
    for (int i = 0; i < 4; ++i)
        operand[size_t(i)] = quint8(v >> (8 * i));
}

void CodeRecord::setWord(int at, quint16 value)
{
    operand[size_t(at)] = quint8(value);
    operand[size_t(at + 1)] = quint8(value >> 8);
}

quint16 CodeRecord::word(int at) const
{
    return quint16(operand[size_t(at)] | (operand[size_t(at + 1)] << 8));
}

qint32 CodeRecord::constant() const
{
    return qint32(quint32(word(0)) | (quint32(word(2)) << 16));
}

QByteArray CodeImage::toBinary() const
{
    QByteArray out;
    out.reserve(int(records.size()) * kCodeRecordBytes + int(dataWords.size()) * 2);
    for (const CodeRecord& r : records) {
        out.append(char(r.opcode));
        out.append(char(r.sub));
        out.append(char(r.step & 0xFF));
        out.append(char(r.step >> 8));
        for (quint8 b : r.operand)
            out.append(char(b));
    }
    for (quint16 w : dataWords) {
        out.append(char(w & 0xFF));
        out.append(char(w >> 8));
    }
    return out;
}

namespace {
int leadingNumber(QByteArrayView text, qsizetype from, int maxChars)
{
    int value = 0;
    for (qsizetype i = from; i < text.size() && i < from + maxChars; ++i) {
        if (text[i] < '0' || text[i] > '9')
            break;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}
}  // namespace

std::optional<AddressOperand> addressOperand(QByteArrayView text)
{
    AddressOperand a;
    if (text.isEmpty())
        return a;
    const char first = text[0];
    const bool twoLetters = first == 'D' && text.size() > 1 && (text[1] == 'T' || text[1] == 'C');
    const int n = leadingNumber(text, twoLetters ? 2 : 1, 4);
    switch (first) {
    case 'F': a.code = quint16(0x8010 + n); a.letter = 'F'; break;
    case 'G': a.code = quint16(0x8050 + n); a.letter = 'G'; break;
    case 'X': a.code = quint16(0x8090 + n); a.letter = 'X'; break;
    case 'Y': a.code = quint16(0x80D0 + n); a.letter = 'Y'; break;
    case 'D':
        if (twoLetters && text[1] == 'T') {
            a.code = quint16(0x8100 + 2 * n); a.letter = 't';
        } else if (twoLetters) {
            a.code = quint16(0x8200 + 2 * n); a.letter = 'c';
        } else {
            a.code = quint16(0x8300 + 2 * n); a.letter = 'D';
        }
        break;
    case 'R': a.code = quint16(0x8500 + n); a.letter = 'R'; break;
    case 'T': a.code = quint16(0x8700 + 2 * n); a.letter = 'T'; break;
    case 'C': a.code = quint16(0x8800 + 2 * n); a.letter = 'C'; break;
    case 'A': a.code = quint16(0x8C00 + n); a.letter = 'A'; break;
    case 'K': a.code = quint16(0x8C80 + n); a.letter = 'K'; break;
    default: a.letter = 0; break;
    }
    const qsizetype point = text.indexOf('.');
    if (point >= 0 && point + 1 < text.size() && text[point + 1] >= '0' && text[point + 1] <= '9') {
        const int d = text[point + 1] - '0';
        if (d > 7)
            return std::nullopt;
        a.bitMask = quint8(1u << d);
    }
    return a;
}

void setAddressOperand(CodeRecord& record, const AddressOperand& a)
{
    record.setWord(0, a.code);
    record.operand[2] = a.letter;
    record.operand[3] = a.bitMask;
}

}  // namespace rungpad
