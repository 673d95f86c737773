// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/dncrestart.h"

#include <QRegularExpression>

namespace vantor::dnc {

namespace {

// End of the line that starts at pos (one past its '\n', or where the line rule cuts it).
qsizetype lineEnd(QByteArrayView program, qsizetype pos)
{
    const qsizetype limit = std::min(program.size(), pos + kLineLimit);
    qsizetype next = pos;
    while (next < limit && program[next] != '\n')
        ++next;
    return next < limit ? next + 1 : limit;
}

QByteArrayView trimmedStart(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    return line.sliced(i);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number after a letter at position i, if digits follow (blanks allowed between).
std::optional<int> numberAfter(QByteArrayView line, qsizetype i)
{
    qsizetype j = i + 1;
    while (j < line.size() && line[j] == ' ')
        ++j;
    if (j >= line.size() || !isDigit(line[j]))
        return std::nullopt;
    int n = 0;
    while (j < line.size() && isDigit(line[j]) && n < 100000)
        n = n * 10 + (line[j++] - '0');
    return n;
}

// A line that moves an axis: G0 to G3 (with or without the leading zero), or an axis word.
// Comments in brackets are skipped.
bool isMotion(QByteArrayView line)
{
    bool inComment = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '(')
            inComment = true;
        else if (c == ')')
            inComment = false;
        if (inComment || c == ';')
            continue;
        const char u = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        if (u == 'G') {
            const auto n = numberAfter(line, i);
            if (n && *n <= 3)
                return true;
        }
        if ((u == 'X' || u == 'Y' || u == 'Z' || u == 'U' || u == 'W') && i + 1 < line.size()
            && (isDigit(line[i + 1]) || line[i + 1] == '-' || line[i + 1] == '+' || line[i + 1] == '.'))
            return true;
    }
    return false;
}

QByteArray lineEnding(QByteArrayView program)
{
    const qsizetype lf = program.indexOf('\n');
    return lf > 0 && program[lf - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");
}

}  // namespace

qint64 lineAtOffset(QByteArrayView program, qint64 offset)
{
    qint64 line = 1;
    qsizetype pos = 0;
    while (pos < program.size()) {
        const qsizetype end = lineEnd(program, pos);
        if (offset < end || end >= program.size())
            return line;
        pos = end;
        ++line;
    }
    return line;
}

qint64 offsetOfLine(QByteArrayView program, qint64 line)
{
    qsizetype pos = 0;
    for (qint64 l = 1; l < line && pos < program.size(); ++l)
        pos = lineEnd(program, pos);
    return pos;
}

std::optional<StartPoint> parseStartPoint(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([Nn])?\\s*(\\d{1,10})\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 n = m.captured(2).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    StartPoint p;
    if (m.capturedLength(1) > 0)
        p.block = n;
    else if (n >= 1 && n <= 2147483647)
        p.line = n;
    else
        return std::nullopt;
    return p;
}

std::optional<qint64> lineOfBlock(QByteArrayView program, qint64 number)
{
    qint64 line = 1;
    qsizetype pos = 0;
    while (pos < program.size()) {
        const qsizetype end = lineEnd(program, pos);
        QByteArrayView text = trimmedStart(program.sliced(pos, end - pos));
        if (!text.isEmpty() && text.front() == '/')
            text = trimmedStart(text.sliced(1));
        if (!text.isEmpty() && (text.front() == 'N' || text.front() == 'n')) {
            qsizetype i = 1;
            qint64 n = 0;
            bool digits = false;
            while (i < text.size() && isDigit(text[i]) && n < 1000000000) {
                n = n * 10 + (text[i++] - '0');
                digits = true;
            }
            if (digits && n == number)
                return line;
        }
        pos = end;
        ++line;
    }
    return std::nullopt;
}

QByteArray programStartHeader(QByteArrayView program)
{
    QByteArray header;
    qsizetype pos = 0;
    while (pos < program.size()) {
        const qsizetype end = lineEnd(program, pos);
        const QByteArrayView line = program.sliced(pos, end - pos);
        if (isMotion(line))
            break;
        const QByteArrayView text = trimmedStart(line);
        // The tape start mark would end the stream on some controllers; a program end or
        // return (M02, M30, M99) would end the run before the restart point.
        const bool tapeMark = !text.isEmpty() && text.front() == '%';
        const QByteArray upper = text.toByteArray().toUpper();
        static const QRegularExpression ends(QStringLiteral("M0?(2|30|99)(?!\\d)"));
        const bool programEnd = ends.match(QString::fromLatin1(upper)).hasMatch();
        if (!tapeMark && !programEnd)
            header += line.toByteArray();
        pos = end;
    }
    return header;
}

QByteArray restartHeader(QByteArrayView program, qint64 line, HeaderMode mode, const QByteArray& custom)
{
    if (line <= 1)
        return {};
    switch (mode) {
    case HeaderMode::None:
        return {};
    case HeaderMode::ProgramStart: {
        // The header ends before the first motion; when the restart point lies inside it,
        // only the lines before the restart point are repeated.
        const QByteArray header = programStartHeader(program);
        const qint64 before = offsetOfLine(program, line);
        return header.size() > before ? header.left(before) : header;
    }
    case HeaderMode::Custom: {
        if (custom.isEmpty())
            return {};
        QByteArray h = custom;
        if (!h.endsWith('\n'))
            h += lineEnding(program);
        return h;
    }
    }
    return {};
}

}  // namespace vantor::dnc
