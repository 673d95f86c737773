// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/imagewriter.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/laddercompiler.h"

namespace rungpad {

std::optional<int> toNumber(QByteArrayView t)
{
    bool ok = false;
    const int v = t.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

CodeRecord* ImageWriter::add(int opcode, int sub, int line)
{
    std::vector<CodeRecord>& recs = m_image.records;
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
}

bool ImageWriter::closeNetwork(int line)
{
    if (!add(op::NETWORK_END, 0, line))
        return false;
    m_netStart = recordCount();
    m_outputPending = false;
    return true;
}

bool ImageWriter::addAddress(int opcode, int sub, QByteArrayView text, int line)
{
    const auto a = addressOperand(text);
    if (!a)
        return fail(err::AddressMalformed, line);
    CodeRecord* r = add(opcode, sub, line);
    if (!r)
        return false;
    setAddressOperand(*r, *a);
    return true;
}

bool ImageWriter::addConstOrAddress(int opcode, int sub, QByteArrayView text, int line)
{
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
}

bool ImageWriter::addData(int value, int tableSize, int line)
{
    std::vector<quint16>& words = m_image.dataWords;
    const bool full = words.size() >= size_t(kMaxDataWords);
    if (tableSize == 2) {
        if (full)
            return fail(err::CodDataFull, line);
        if (m_dataBytes % 2 == 0) {
            words.push_back(quint16(value));
        } else {
            words.back() = quint16((words.back() & 0x00FF) | ((value & 0xFF) << 8));
            words.push_back(quint16((value >> 8) & 0xFF));
        }
        m_dataBytes += 2;
    } else {
        if (m_dataBytes % 2 == 0) {
            if (full)
                return fail(err::CodDataFull, line);
            words.push_back(quint16(value & 0xFF));
        } else {
            words.back() = quint16((words.back() & 0x00FF) | ((value & 0xFF) << 8));
        }
        m_dataBytes += 1;
    }
    return true;
}

bool ImageWriter::finish(int line)
{
    CodeRecord* term = add(op::TERMINATOR, op::TERMINATOR, line);
    if (!term)
        return false;
    term->step = quint16(m_image.dataWords.size());
    return true;
}

}  // namespace rungpad
