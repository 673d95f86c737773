// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/laddertext.h"

#include <QStringList>

namespace rungpad {

qint16 cellNumberOfText(QByteArrayView text)
{
    if (text.isEmpty())
        return -1;
    if (text.size() > kCellTextMax)
        return 0;
    qsizetype i = 0;
    const char first = text[0];
    if (first == 'D' && text.size() > 1 && (text[1] == 'C' || text[1] == 'T'))
        i = 2;
    else if (QByteArrayView("ACFGKRTXYD").contains(first))
        i = 1;
    int value = 0;
    for (; i < text.size() && text[i] != '.'; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
        if (value > 32767)
            return 0;
    }
    return qint16(value);
}

namespace {
bool parseCell(QString token, LadderCell& cell, QString* why)
{
    if (token.endsWith('+') && token.size() > 1) {
        cell.verticalLink = 1;
        token.chop(1);
    }
    QByteArray text;
    if (token == ".") {
        cell.code = kEmpty;
    } else if (token == "-") {
        cell.code = kHorizontalWire;
    } else if (token.startsWith('(') && token.endsWith(')')) {
        QString inner = token.mid(1, token.size() - 2);
        cell.code = inner.startsWith('/') ? kCoilNot : kCoil;
        if (inner.startsWith('/'))
            inner.remove(0, 1);
        text = inner.toLatin1();
    } else if (token.startsWith('{') && token.endsWith('}')) {
        const QString inner = token.mid(1, token.size() - 2);
        const qsizetype colon = inner.indexOf(':');
        bool ok = false;
        const uint code = inner.left(colon < 0 ? inner.size() : colon).toUInt(&ok, 16);
        if (!ok || code > 0xFFFF) {
            *why = QStringLiteral("bad block cell code in %1").arg(token);
            return false;
        }
        cell.code = quint16(code);
        if (colon >= 0)
            text = inner.mid(colon + 1).toLatin1();
    } else {
        QString inner = token;
        if (inner.startsWith('[') && inner.endsWith(']'))
            inner = inner.mid(1, inner.size() - 2);
        cell.code = inner.startsWith('/') ? kContactNC : kContactNO;
        if (inner.startsWith('/'))
            inner.remove(0, 1);
        text = inner.toLatin1();
    }
    if (text.size() > kCellTextMax) {
        *why = QStringLiteral("text longer than 6 characters in %1").arg(token);
        return false;
    }
    cell.setText(text);
    cell.number = cellNumberOfText(text);
    return true;
}

QString cellToken(const LadderCell& cell)
{
    const QString text = QString::fromLatin1(cell.text());
    QString token;
    switch (kindOf(cell.code)) {
    case kEmpty:
        token = cell.code == kEmpty && text.isEmpty() ? QStringLiteral(".")
                                                      : QStringLiteral("{%1:%2}").arg(cell.code, 4, 16, QChar('0')).arg(text);
        break;
    case kHorizontalWire: token = QStringLiteral("-"); break;
    case kContactNO: token = text.isEmpty() ? QStringLiteral("[]") : text; break;
    case kContactNC: token = text.isEmpty() ? QStringLiteral("[/]") : QStringLiteral("/") + text; break;
    case kCoil: token = QStringLiteral("(%1)").arg(text); break;
    case kCoilNot: token = QStringLiteral("(/%1)").arg(text); break;
    default:
        token = text.isEmpty() ? QStringLiteral("{%1}").arg(cell.code, 4, 16, QChar('0'))
                               : QStringLiteral("{%1:%2}").arg(cell.code, 4, 16, QChar('0')).arg(text);
        break;
    }
    if (cell.hasLink())
        token += '+';
    return token;
}
}  // namespace

std::optional<LadderProgram> readLadderText(const QString& text, LadderTextError* error)
{
    LadderProgram ladder;
    const QStringList lines = text.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        QString note;
        const qsizetype semi = line.indexOf(';');
        if (semi >= 0) {
            note = line.mid(semi + 1);
            line = line.left(semi);
        }
        const QString trimmed = line.trimmed();
        if ((trimmed.isEmpty() && semi < 0) || trimmed.startsWith('#'))
            continue;
        const QStringList tokens = trimmed.split(QChar(' '), Qt::SkipEmptyParts);
        auto failAt = [&](const QString& why) -> std::optional<LadderProgram> {
            if (error)
                *error = {n + 1, why};
            return std::nullopt;
        };
        if (tokens.size() > kColumns)
            return failAt(QStringLiteral("more than 10 cells"));
        LadderRow row;
        for (int c = 0; c < tokens.size(); ++c) {
            QString why;
            if (!parseCell(tokens[c], row[c], &why))
                return failAt(why);
        }
        if (!ladder.appendLoadedLine(row))
            return failAt(QStringLiteral("more than 5000 lines"));
        if (!note.isEmpty())
            ladder.setNote(ladder.lineCount() - 1, note);
    }
    ladder.recomputeTableRows();
    return ladder;
}

QString writeLadderText(const LadderProgram& ladder)
{
    QString out;
    for (int i = 0; i < ladder.lineCount(); ++i) {
        const LadderRow& row = ladder.line(i);
        int last = kColumns - 1;
        while (last > 0 && row[last] == LadderCell{})
            --last;
        QStringList tokens;
        for (int c = 0; c <= last; ++c)
            tokens << cellToken(row[c]);
        out += tokens.join(' ');
        if (!ladder.note(i).isEmpty())
            out += QStringLiteral(" ;") + ladder.note(i);
        out += '\n';
    }
    return out;
}

}  // namespace rungpad
