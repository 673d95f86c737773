// SPDX-License-Identifier: GPL-3.0-or-later
// The converter's facade: runs the three stages (precheck.h, networkwalker.h, assembler.h)
// over one error list and offers the editor checks (editorchecks.h) with the number tables
// the last pre-check left.
#include "rungpad/compiler/laddercompiler.h"

#include "rungpad/compiler/assembler.h"
#include "rungpad/compiler/editorchecks.h"
#include "rungpad/compiler/networkwalker.h"
#include "rungpad/compiler/operandrules.h"
#include "rungpad/compiler/precheck.h"
#include "rungpad/model/ladderdocument.h"

namespace rungpad {

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

std::optional<ConvertError> LadderCompiler::lastError() const
{
    if (m_errors.empty())
        return std::nullopt;
    return m_errors.back();
}

bool LadderCompiler::convert()
{
    m_errors.clear();
    m_lines.clear();
    m_image.clear();
    ErrorSink errors(m_errors);
    if (!m_ladder)
        return errors.fail(err::End1End2, 0);
    bool ok = preCheck();
    if (ok) {
        NetworkWalker walker(*m_ladder, m_lines, errors);
        ok = walker.walk();
    }
    if (ok) {
        Assembler assembler(*m_ladder, m_image, errors);
        ok = assembler.assemble(m_lines);
    }
    if (!ok)
        m_image.clear();
    return ok;
}

bool LadderCompiler::preCheck()
{
    m_tablesStale = false;
    if (!m_ladder) {
        m_numbers.clear();
        m_coils.reset();
        return false;
    }
    ErrorSink errors(m_errors);
    return preCheckLadder(*m_ladder, m_numbers, m_coils, errors);
}

std::optional<ConvertError> LadderCompiler::checkNumber(const LadderCell& cell, int newNumber, int line)
{
    if (m_tablesStale) {
        // What the rebuild finds in the ladder is the conversion's to report, not this check's.
        const size_t reported = m_errors.size();
        preCheck();
        m_errors.erase(m_errors.begin() + std::ptrdiff_t(reported), m_errors.end());
    }
    ErrorSink errors(m_errors);
    return checkNumberChange(m_numbers, cell, newNumber, line, errors);
}

std::optional<QByteArray> LadderCompiler::checkElementAddress(QByteArrayView text, bool coil, int line)
{
    ErrorSink errors(m_errors);
    return checkElementText(m_ladder, text, coil, line, errors);
}

std::optional<QByteArray> LadderCompiler::checkParameter(quint16 instruction, int blockColumn, QByteArrayView text,
                                                          int line, QByteArrayView format)
{
    ErrorSink errors(m_errors);
    return checkParameterText(instruction, blockColumn, text, format, line, errors);
}

bool convertDocument(LadderDocument& document, LadderCompiler& compiler)
{
    compiler.setLadder(&document.editLadder);
    const bool ok = compiler.convert();
    document.setConverted(ok);
    return ok;
}

}  // namespace rungpad
