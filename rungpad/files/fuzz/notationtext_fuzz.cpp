// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the user notation file and the diagnosis meaning file on their own, and
// the notation file written back from what was read.
#include "rungpad/files/notationtext.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static rungpad::CommentTables tables;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const rungpad::NotationFileContent notation = rungpad::parseUserNotationFile(bytes);
    rungpad::applyNotationContent(notation, tables);
    rungpad::applyCommentEntries(rungpad::parseDiagnosisFile(bytes), tables);
    if (!notation.mCodes.empty() || !notation.comments.empty())
        (void)rungpad::parseUserNotationFile(rungpad::formatUserNotationFile(tables));
    return 0;
}
