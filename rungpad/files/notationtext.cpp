// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/notationtext.h"

#include "common/gbk.h"
#include "rungpad/files/bytes.h"
#include "rungpad/files/fileformat.h"

#include <cstdio>

namespace rungpad {

namespace ff = fileformat;

namespace {

// Lines of a text file without their terminators (CR LF, LF or a lone CR).
std::vector<QByteArrayView> splitLines(QByteArrayView bytes)
{
    std::vector<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\n' && c != '\r')
            continue;
        lines.push_back(bytes.sliced(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.sliced(start));
    return lines;
}

// Decimal digits of line[from, from+count) as atoi reads them: optional sign, then digits.
bool decimalField(QByteArrayView line, qsizetype from, qsizetype count, int* value)
{
    if (from + count > line.size())
        return false;
    QByteArrayView field = line.sliced(from, count);
    qsizetype i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i >= field.size() || field[i] < '0' || field[i] > '9')
        return false;
    int v = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        v = v * 10 + (field[i] - '0');
    *value = negative ? -v : v;
    return true;
}

QByteArrayView trimTrailingBlanks(QByteArrayView text)
{
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.first(end);
}

bool isEndLine(QByteArrayView line)
{
    return trimTrailingBlanks(line) == QByteArrayView(ff::kEndLine);
}

// The bit digit of F bytes 128..255 was written as a letter by older tools (0, 1, F, I);
// those bytes carry a single meaning, kept on bit 0.
int diagnosisBit(char bitChar, int byteIndex)
{
    if ((bitChar == '0' || bitChar == '1' || bitChar == 'F' || bitChar == 'I') && byteIndex >= 128 && byteIndex <= 255)
        return 0;
    return bitChar - '0';
}

}  // namespace

void applyCommentEntries(const std::vector<CommentEntry>& entries, CommentTables& tables)
{
    for (const CommentEntry& e : entries) {
        if (e.relay)
            tables.relay.set(e.index, e.text);
        else
            tables.notation.set(e.index, e.text);
    }
}

void applyNotationContent(const NotationFileContent& content, CommentTables& tables)
{
    for (const MCodeEntry& m : content.mCodes)
        tables.mCodes.set(m.mCode, m.signal);
    applyCommentEntries(content.comments, tables);
}

namespace {
bool keyOf(char letter, int byte, int bit, CommentEntry* entry)
{
    const auto key = commentKey(letter, byte, bit);
    if (!key)
        return false;
    entry->relay = key->relay;
    entry->index = key->index;
    return true;
}
}  // namespace

std::vector<CommentEntry> parseDiagnosisFile(QByteArrayView bytes)
{
    std::vector<CommentEntry> entries;
    for (QByteArrayView line : splitLines(bytes)) {
        if (line.size() < 3 || isEndLine(line))
            break;
        int byte = 0;
        if (line.size() < 5 || !decimalField(line, 1, 3, &byte) || byte < 0)
            continue;
        const char letter = line[0];
        const int base = notationByteBase(letter);
        if (base < 0)
            continue;
        CommentEntry entry;
        if (!keyOf(letter, byte, diagnosisBit(line[4], byte + base), &entry))
            continue;
        if (line.size() < ff::kCommentColumn)
            continue;
        entry.text = vantor::fromGbk(trimTrailingBlanks(line.sliced(ff::kCommentColumn)));
        entries.push_back(std::move(entry));
    }
    return entries;
}

NotationFileContent parseUserNotationFile(QByteArrayView bytes)
{
    NotationFileContent content;
    const std::vector<QByteArrayView> lines = splitLines(bytes);
    size_t at = 0;

    // M section, up to the "%" line.
    for (; at < lines.size(); ++at) {
        QByteArrayView line = lines[at];
        if (line.size() < 3 || line.startsWith('%'))
            break;
        if (line[0] != 'M')
            continue;
        int mCode = 0;
        if (!decimalField(line, 1, 2, &mCode) || mCode < 0 || mCode >= ff::kMCodeCount)
            continue;
        qsizetype fAt = -1;
        for (qsizetype i = 4; i <= 8 && i < line.size(); ++i) {
            if (line[i] == 'F') {
                fAt = i;
                break;
            }
        }
        int value = 0;
        if (fAt < 0 || !decimalField(line, fAt + 1, qMin<qsizetype>(line.size() - fAt - 1, 5), &value))
            continue;
        const int byte = value / 10;
        const int bit = value % 10;
        const bool inRange = byte >= ff::kMSectionFirstFByte && byte <= ff::kMSectionLastFByte && bit >= 0 && bit < 8;
        if (!inRange && value != -1)
            continue;
        const qsizetype textAt = ff::kCommentColumn + (fAt - 4);
        if (value != -1) {
            CommentEntry entry;
            entry.index = (byte + ff::kBaseF) * 8 + bit;
            const QByteArray text = textAt < line.size() ? line.sliced(textAt).toByteArray() : QByteArray();
            entry.text = vantor::fromGbk(gbkPrefix(text, ff::kMCommentMax));
            content.comments.push_back(std::move(entry));
        }
        content.mCodes.push_back({mCode, value == -1 ? -1 : byte * 10 + bit});
    }
    if (at < lines.size() && lines[at].startsWith('%'))
        ++at;
    else
        return content;   // no separator: there is no signal section

    // Signal section, up to the line "end". A comment that merely contains "end" is a comment.
    for (; at < lines.size(); ++at) {
        QByteArrayView line = lines[at];
        if (line.size() < 3 || isEndLine(line))
            break;
        const char letter = line[0];
        if (notationByteBase(letter) < 0)
            break;
        int byte = 0;
        if (line.size() < 5 || !decimalField(line, 1, 3, &byte))
            continue;
        CommentEntry entry;
        if (!keyOf(letter, byte, line[4] - '0', &entry))
            continue;
        if (line.size() < ff::kCommentColumn)
            continue;
        entry.text = vantor::fromGbk(trimTrailingBlanks(line.sliced(ff::kCommentColumn)));
        content.comments.push_back(std::move(entry));
    }
    return content;
}

namespace {

// A comment that held a line break would end its record early in the text file.
QByteArray singleLine(const QString& text)
{
    QByteArray bytes = vantor::toGbk(text);
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

QByteArray mCodeLine(int mCode, int signal, const QString& comment)
{
    char head[32];
    std::snprintf(head, sizeof head, "M%02d F%04d ", mCode, signal);
    return QByteArray(head) + singleLine(comment) + "\r\n";
}

QByteArray signalLine(char letter, int byte, int bit, const QString& comment)
{
    char head[32];
    std::snprintf(head, sizeof head, "%c%04d     ", letter, byte * 10 + bit);
    return QByteArray(head) + singleLine(comment) + "\r\n";
}

}  // namespace

QByteArray formatUserNotationFile(const CommentTables& tables)
{
    QByteArray out;
    for (int m = 0; m < kMCodeCount; ++m) {
        const int signal = tables.mCodes.at(m);
        if (signal == -1)
            continue;
        const auto key = commentKey('F', signal / 10, signal % 10);
        out += mCodeLine(m, signal, key ? tables.notation.at(key->index) : QString());
    }
    out += "%\r\n";
    for (const NotationExportRange& range : kNotationExportRanges) {
        for (int byte = range.firstByte; byte <= range.lastByte; ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                const auto key = commentKey(range.letter, byte, bit);
                const QString& comment = key->relay ? tables.relay.at(key->index) : tables.notation.at(key->index);
                if (!comment.isEmpty())
                    out += signalLine(range.letter, byte, bit, comment);
            }
        }
    }
    out += "end\r\n";
    return out;
}

}  // namespace rungpad
