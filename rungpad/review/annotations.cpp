// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/review/annotations.h"

#include "rungpad/compiler/instructions.h"

namespace rungpad {

QString blockInputLabel(quint16 code, int input)
{
    const FunctionInstruction* f = functionInstruction(code);
    if (!f || isCodt(code) || input < 0 || input >= f->inputs || !f->conditions)
        return {};
    // The counter's lines from the top: initial value, count direction, reset, count.
    static const char* const kCounter[] = {"INIT", "UP/DN", "RST", "ACT"};
    if (kindOf(code) == fn::CTR)
        return QString::fromLatin1(kCounter[input]);
    if (f->inputs == 1)
        return QStringLiteral("ACT");
    // The last line is the one that runs the block; the others qualify it.
    if (input == f->inputs - 1)
        return QStringLiteral("ACT");
    return QStringLiteral("IN%1").arg(input + 1);
}

QString cellComment(const LadderCell& cell, const CommentTables& comments)
{
    if (!(isContact(cell.code) || isCoil(cell.code)) || !cell.hasText())
        return {};
    const QByteArray text = cell.text();
    // commentOf() checks the letter itself; anything it cannot place has no comment.
    if (!commentKeyOfText(text))
        return {};
    return comments.commentOf(text);
}

QString cellToolTip(const LadderProgram& ladder, const CommentTables& comments, int line, int column, int language)
{
    if (line < 0 || line >= ladder.lineCount() || column < 0 || column >= kColumns)
        return {};
    const LadderRow& row = ladder.line(line);
    const LadderCell& cell = row[column];
    const QString text = QString::fromLatin1(cell.text());
    if (isContact(cell.code) || isCoil(cell.code)) {
        const QString comment = cellComment(cell, comments);
        return comment.isEmpty() ? text : text + QStringLiteral("\n") + comment;
    }
    if (isCodt(cell.code))
        return prompt(cell.code, blockColumnOf(cell.code), language) + QStringLiteral(": ") + text;
    if (isFunctionBlockCode(cell.code)) {
        const int blockColumn = blockColumnOf(cell.code);
        if (blockLineOf(cell.code) == 0 && blockColumn > 0) {
            QString tip = prompt(cell.code, blockColumn, language) + QStringLiteral(": ") + text;
            if (commentKeyOfText(cell.text())) {
                const QString comment = comments.commentOf(cell.text());
                if (!comment.isEmpty())
                    tip += QStringLiteral("\n") + comment;
            }
            return tip;
        }
        const QString label = blockInputLabel(cell.code, blockLineOf(cell.code));
        const QString name = QString::fromLatin1(nameOf(cell.code));
        return label.isEmpty() ? name : name + QStringLiteral(" ") + label;
    }
    // A wire or contact on a block's input line: the input it feeds.
    const int start = row.blockColumn();
    if (start > column && (kindOf(cell.code) == kHorizontalWire || cell.code == kEmpty)) {
        const quint16 code = row[start].code;
        const QString label = blockInputLabel(code, blockLineOf(code));
        if (!label.isEmpty())
            return QString::fromLatin1(nameOf(code)) + QStringLiteral(" ") + label;
    }
    return {};
}

}  // namespace rungpad
