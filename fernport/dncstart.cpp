// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/dncstart.h"

#include "common/gbk.h"
#include "fernport/messages.h"

#include <QFileInfo>

namespace vantor::fernport {

namespace {
QString qs(const char* latin1) { return QString::fromLatin1(latin1); }

bool usesCrLf(QByteArrayView program)
{
    const qsizetype lf = program.indexOf('\n');
    return lf > 0 && program[lf - 1] == '\r';
}
}  // namespace

DncPlan planDnc(QByteArray program, qint64 startLine, dnc::HeaderMode mode, const QString& custom)
{
    DncPlan plan;
    plan.startLine = std::max<qint64>(1, startLine);
    plan.offset = dnc::offsetOfLine(program, plan.startLine);
    // What the user typed has the editor's line ends; on the wire it gets the program's.
    QByteArray typed = toGbk(custom);
    typed.replace("\r\n", "\n");
    if (usesCrLf(program))
        typed.replace("\n", "\r\n");
    plan.header = dnc::restartHeader(program, plan.startLine, mode, typed);
    plan.program = std::move(program);
    return plan;
}

qint64 dncLineCount(QByteArrayView program)
{
    return program.isEmpty() ? 0 : dnc::lineAtOffset(program, program.size());
}

DncRestartPoint restartPointAfter(const DncPlan& plan, const QString& path, qint64 taken, qint64 bytesSent)
{
    DncRestartPoint point;
    point.path = path;
    point.bytesSent = bytesSent;
    // Header bytes do not move the point: until the program's own bytes went, the run
    // starts again where it started.
    const qint64 intoProgram = std::max<qint64>(0, taken - plan.header.size());
    const qint64 at = plan.offset + intoProgram;
    if (at >= plan.program.size())
        point.line = 0;
    else
        point.line = intoProgram == 0 ? plan.startLine : dnc::lineAtOffset(plan.program, at);
    return point;
}

std::vector<QByteArray> splitWireLines(QByteArrayView bytes)
{
    std::vector<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', pos);
        const qsizetype end = lf < 0 ? bytes.size() : lf + 1;
        lines.emplace_back(bytes.sliced(pos, end - pos).toByteArray());
        pos = end;
    }
    return lines;
}

std::optional<qint64> chooseDncStartLine(Prompter& prompter, const DncRestartPoint& offer, const QString& path,
                                         QByteArrayView program, bool askLine)
{
    const qint64 lines = dncLineCount(program);
    const QString caption = qs(msg::kCaptionDnc);
    if (offer.valid() && offer.path == path && offer.line <= lines
        && prompter.ask(qs(msg::kDncRestartQuestion).arg(QFileInfo(path).fileName()).arg(offer.line), Buttons::YesNo,
                        caption)
               == Answer::Yes)
        return offer.line;
    if (!askLine)
        return 1;
    std::optional<QString> answer = prompter.askText(qs(msg::kDncStartPoint), QStringLiteral("1"));
    while (answer) {
        if (const auto point = dnc::parseStartPoint(*answer)) {
            if (point->line > 0) {
                if (point->line > lines) {
                    prompter.inform(Severity::Warning, qs(msg::kDncLineTooBig).arg(point->line).arg(lines), caption);
                    return std::nullopt;
                }
                return point->line;
            }
            if (const auto line = dnc::lineOfBlock(program, point->block))
                return *line;
            prompter.inform(Severity::Warning, qs(msg::kDncBlockNotFound).arg(answer->trimmed().toUpper()), caption);
            return std::nullopt;
        }
        // Neither a line nor a block number: asked again with what was typed.
        answer = prompter.askText(qs(msg::kDncStartPoint), *answer);
    }
    return std::nullopt;
}

}  // namespace vantor::fernport
