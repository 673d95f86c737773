// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes the code image as the assembler goes: records with their own index under the record
// limit, address and constant operands, network ends (and the record index where the next
// network starts), COD table data packed into data words, and the terminator.
#include "rungpad/compiler/codeimage.h"
#include "rungpad/compiler/errorsink.h"

#include <QByteArray>

namespace rungpad {

class ImageWriter {
public:
    ImageWriter(CodeImage& image, ErrorSink& errors) : m_image(image), m_errors(errors) {}

    // nullptr (1004 recorded) past the record limit.
    CodeRecord* add(int opcode, int sub, int line);
    // A network end record; the next record starts a network.
    bool closeNetwork(int line);
    bool addAddress(int opcode, int sub, QByteArrayView text, int line);
    // The sub-code comes from the caller (the format), the operand from the text: a file may
    // hold an address where its format announces a constant, and it still converts.
    bool addConstOrAddress(int opcode, int sub, QByteArrayView text, int line);
    // One COD table value: a word (tableSize 2) or a byte, packed on from where the last
    // table stopped; 1031 past the data word limit.
    bool addData(int value, int tableSize, int line);
    // The terminator, counting the data words.
    bool finish(int line);

    int recordCount() const { return int(m_image.records.size()); }
    CodeRecord& record(int index) { return m_image.records[size_t(index)]; }
    int networkStart() const { return m_netStart; }
    bool outputPending() const { return m_outputPending; }
    void setOutputPending() { m_outputPending = true; }

private:
    bool fail(int code, int line) { return m_errors.fail(code, line); }

    CodeImage& m_image;
    ErrorSink& m_errors;
    int m_netStart = 0;
    bool m_outputPending = false;
    quint32 m_dataBytes = 0;
};

// A whole number, or nullopt.
std::optional<int> toNumber(QByteArrayView text);

}  // namespace rungpad
