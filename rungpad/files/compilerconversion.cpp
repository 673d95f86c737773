// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/compilerconversion.h"

#include "rungpad/model/ladderdocument.h"

namespace rungpad {

bool CompilerConversion::convert(LadderDocument& document, QString* errorLine)
{
    compiler_.setLadder(&document.editLadder);
    compiler_.clearErrors();
    if (!compiler_.convert()) {
        const auto error = compiler_.lastError();
        *errorLine = error ? formatErrorMessage(*error, language_) : QString();
        output_ = {};
        return false;
    }
    output_ = {};
    for (const CodeRecord& r : compiler_.codeImage().records)
        output_.records.push_back({r.opcode, r.sub, quint8(r.step & 0xFF), quint8(r.step >> 8), r.operand[0],
                                   r.operand[1], r.operand[2], r.operand[3]});
    output_.dataWords.assign(compiler_.codeImage().dataWords.begin(), compiler_.codeImage().dataWords.end());
    output_.instructionLines = compiler_.instructionLines();
    return true;
}

void CompilerConversion::precheck(LadderDocument& document)
{
    compiler_.setLadder(&document.editLadder);
    compiler_.preCheckLater();
    compiler_.clearErrors();
}

}  // namespace rungpad
