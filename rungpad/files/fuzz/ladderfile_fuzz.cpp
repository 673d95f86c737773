// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the ladder file reader (with and without the comment tail), function
// block normalisation, and the two comment text readers, on the same bytes.
#include "rungpad/files/ladderfile.h"
#include "rungpad/files/notationtext.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One set of tables for the whole run: building 32000 empty texts per input would
    // dominate the time and tell nothing about the readers.
    static rungpad::CommentTables tables;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (bool withComments : {true, false}) {
        rungpad::LadderFileContent content = rungpad::parseLadderFile(bytes, withComments);
        if (content.ok()) {
            rungpad::applyCommentRecords(content.records(), content.ladder, tables);
            rungpad::normalizeFunctionBlocks(content.ladder);
            if (content.ladder.lineCount() > 0)
                (void)rungpad::makeVersion1Copy(content.ladder);
        }
    }
    rungpad::applyNotationContent(rungpad::parseUserNotationFile(bytes), tables);
    rungpad::applyCommentEntries(rungpad::parseDiagnosisFile(bytes), tables);
    return 0;
}
