// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/outputwriters.h"

#include "rungpad/files/bytes.h"

namespace rungpad {

namespace {
// Opcode and sub-code of the record that ends the image; its step field holds L.
constexpr std::uint8_t kTerminator = 0xFE;
}

ImageProblem checkCodeImage(const ConversionOutput& output)
{
    if (output.records.empty())
        return ImageProblem::NoRecords;
    const CodeRecordBytes& last = output.records.back();
    if (last[0] != kTerminator || last[1] != kTerminator)
        return ImageProblem::NoTerminator;
    const std::size_t words = std::size_t(last[2] | (last[3] << 8));
    if (words != output.dataWords.size())
        return ImageProblem::DataWordCountMismatch;
    return ImageProblem::None;
}

std::optional<QByteArray> formatBinaryImage(const ConversionOutput& output)
{
    if (checkCodeImage(output) != ImageProblem::None)
        return std::nullopt;
    ByteWriter out;
    for (const CodeRecordBytes& r : output.records)
        out.writeRaw(QByteArrayView(reinterpret_cast<const char*>(r.data()), qsizetype(r.size())));
    for (std::uint16_t w : output.dataWords)
        out.writeU16(w);
    return out.take();
}

QByteArray formatInstructionList(const std::vector<QByteArray>& lines)
{
    QByteArray out;
    for (const QByteArray& line : lines) {
        const qsizetype blank = line.lastIndexOf(' ');
        out += blank < 0 ? line : line.left(blank);
        out += "\r\n";
    }
    return out;
}

}  // namespace rungpad
