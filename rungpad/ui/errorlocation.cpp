// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/errorlocation.h"

#include "rungpad/compiler/errors.h"
#include "rungpad/compiler/instructions.h"

#include <QRegularExpression>

#include <algorithm>

namespace rungpad::ui {

std::optional<ErrorLine> parseErrorLine(const QString& text)
{
    static const QRegularExpression english(QStringLiteral("^Ladder the (\\d{4,5}) Line, error code: (\\d{4})?"));
    static const QRegularExpression chinese(QString::fromUtf8("^梯图第(\\d{4,5})行  错误代号 (\\d{4})?"));
    QRegularExpressionMatch m = english.match(text);
    if (!m.hasMatch())
        m = chinese.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int line = m.captured(1).toInt();
    if (line < 1)
        return std::nullopt;
    return ErrorLine{line - 1, m.captured(2).toInt()};
}

CellPos errorCell(const LadderProgram& ladder, const ErrorLine& error)
{
    const int lineIndex = std::clamp(error.line, 0, std::max(0, ladder.lineCount() - 1));
    const LadderRow& row = ladder.line(lineIndex);
    auto firstColumn = [&](auto&& test, int from, int to) -> std::optional<int> {
        for (int c = from; c <= to; ++c)
            if (test(row[c]))
                return c;
        return std::nullopt;
    };
    std::optional<int> column;
    switch (error.code) {
    case err::AddressNotSet:
        column = firstColumn([](const LadderCell& c) { return (isContact(c.code) || isCoil(c.code)) && !c.hasText(); },
                             0, kColumns - 1);
        break;
    case err::IllegalOutput:
    case err::CoilNotOutput:
    case err::CoilDuplicate:
        column = kOutputColumn;
        break;
    case err::HorizontalNotConnected:
    case err::BlockNotConnected:
    case err::Incomplete:
        column = firstColumn([](const LadderCell& c) { return c.code == kEmpty; }, 0, kOutputColumn - 1);
        break;
    case err::NameMissing:
    case err::ParameterMissing: {
        const int block = row.blockColumn();
        if (block >= 0) {
            const int width = blockShape(row[block].code).width;
            column = firstColumn([](const LadderCell& c) { return !c.hasText(); }, block + 1,
                                 std::min(kColumns - 1, block + width - 1));
        }
        break;
    }
    case err::VerticalLine:
        column = firstColumn([](const LadderCell& c) { return c.hasLink(); }, 0, kColumns - 1);
        break;
    default:
        break;
    }
    if (!column) {
        const int block = row.blockColumn();
        column = block >= 0 ? block : 0;
    }
    return {lineIndex, *column};
}

}  // namespace rungpad::ui
