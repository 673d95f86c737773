// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/ladderfile.h"

#include "common/gbk.h"
#include "rungpad/compiler/instructions.h"
#include "rungpad/files/bytes.h"
#include "rungpad/files/fileformat.h"
#include "rungpad/files/gbkbatch.h"
#include "rungpad/model/laddertext.h"

#include <bit>
#include <cstdlib>
#include <memory>

namespace rungpad {

namespace ff = fileformat;

namespace {

// What the two file versions disagree on: blocks the version 1.0 export stores one line
// high, and instructions version 1.0 does not know at all.
struct Version1Rule {
    quint16 instruction;
    bool shortened;
    bool unknown;
};
constexpr Version1Rule kVersion1Rules[] = {
    {fn::COMP, true, false}, {fn::MOVN, true, false}, {fn::COIN, true, false}, {fn::TMR, true, false},
    {fn::DEC, true, false},  {fn::EOR, true, false},  {fn::ANDF, true, false}, {fn::ORF, true, false},
    {fn::NOT, true, false},  {fn::COM, true, false},  {fn::COME, true, false}, {fn::TMRB, false, true},
    {fn::TMRC, false, true}, {fn::CALLU, false, true}, {fn::MOVB, false, true}, {fn::MOVW, false, true},
};

const Version1Rule* version1Rule(quint16 code)
{
    for (const Version1Rule& r : kVersion1Rules)
        if (r.instruction == kindOf(code))
            return &r;
    return nullptr;
}

// The first function block cell of a line, as both file versions look for it.
int firstBlockCell(const LadderRow& row)
{
    for (int c = 0; c < kColumns; ++c)
        if (row[c].code >= 0x1000)
            return c;
    return -1;
}

bool isKnownTag(quint16 tag)
{
    return tag == ff::kTagLineNote || tag == ff::kTagNotation || tag == ff::kTagRelayNotation;
}

quint32 tableSize(quint16 tag)
{
    switch (tag) {
    case ff::kTagLineNote: return kMaxLines;
    case ff::kTagNotation: return kNotationEntries;
    case ff::kTagRelayNotation: return kRelayNotationEntries;
    default: return 0;
    }
}

// What writeRecord can write for a text at most (less when the text is cut).
qsizetype recordBytes(QByteArrayView gbk)
{
    return gbk.isEmpty() ? 0 : ff::kCommentRecordHeaderBytes + gbk.size();
}

void writeRecord(ByteWriter& out, quint16 tag, int index, QByteArrayView gbk)
{
    const QByteArrayView bytes = gbkPrefix(gbk, ff::kMaxCommentTextBytes);
    if (bytes.isEmpty())
        return;
    out.writeU16(tag);
    out.writeU32(quint32(index));
    out.writeU16(quint16(bytes.size()));
    out.writeRaw(bytes);
}

}  // namespace

bool isGrpPath(const QString& path)
{
    return path.right(3).toUpper() == QLatin1String("GRP");
}

QString withExtension(const QString& path, const QString& dotExtension)
{
    return path.left(qMax<qsizetype>(0, path.size() - 4)) + dotExtension;
}

namespace {

// Calls visit(record) for each record of a comment part, in order, until one is malformed
// (unknown tag, index outside its table, text too long, record cut short); false then.
// Inline in each caller: a file holds tens of thousands of short records, and the open walks
// them all to check them.
template <class Visit>
bool forEachCommentRecord(QByteArrayView part, Visit&& visit)
{
    const auto* p = reinterpret_cast<const unsigned char*>(part.data());
    const auto* const end = p + part.size();
    constexpr qsizetype kHead = ff::kCommentRecordHeaderBytes;   // tag, index, length
    while (p != end) {
        if (end - p < kHead)
            return false;
        CommentRecord record;
        record.tag = quint16(p[0] | (p[1] << 8));
        record.index = quint32(p[2]) | (quint32(p[3]) << 8) | (quint32(p[4]) << 16) | (quint32(p[5]) << 24);
        const qsizetype length = p[6] | (p[7] << 8);
        if (!isKnownTag(record.tag) || record.index >= tableSize(record.tag) || length > ff::kMaxCommentTextBytes
            || end - p - kHead < length)
            return false;
        record.text = QByteArrayView(reinterpret_cast<const char*>(p + kHead), length);
        visit(record);
        p += kHead + length;
    }
    return true;
}

// What LadderCell::setText keeps of a stored text field: up to kCellTextMax bytes before the
// first NUL, NUL after. Without a loop: fifty thousand cells a file.
std::array<char, kCellTextBytes> cellText(const unsigned char* field)
{
    std::uint64_t x = 0;
    for (int i = 0; i < kCellTextMax; ++i)
        x |= std::uint64_t(field[i]) << (8 * i);
    // The lowest flagged byte is the first NUL (there is one: bytes 6 and 7 are zero).
    const std::uint64_t zero = (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
    x &= (std::uint64_t(1) << (std::countr_zero(zero) & ~7)) - 1;
    std::array<char, kCellTextBytes> text;
    for (int i = 0; i < kCellTextBytes; ++i)
        text[size_t(i)] = char(x >> (8 * i));
    return text;
}

}  // namespace

std::vector<CommentRecord> LadderFileContent::records() const
{
    std::vector<CommentRecord> list;
    if (comments != CommentLoadResult::NotRead)
        forEachCommentRecord(QByteArrayView(commentBytes).sliced(commentOffset),
                             [&list](const CommentRecord& r) { list.push_back(r); });
    return list;
}

namespace {

LadderFileContent parseLadder(QByteArrayView bytes, bool withComments, const QByteArray* owner)
{
    LadderFileContent content;
    ByteReader in(bytes);
    std::uint16_t countWord = 0;
    if (!in.readU16(countWord)) {
        content.error = LadderLoadError::Truncated;
        return content;
    }
    const int lines = countWord == ff::kNoLinesWord ? 0 : int(countWord) + 1;
    content.declaredLines = lines;
    if (lines > kMaxLines) {
        content.error = LadderLoadError::LineCount;
        return content;
    }
    if (in.remaining() < qsizetype(ff::kHeaderBytes - 2) + qsizetype(lines) * ff::kLineBytes) {
        content.error = LadderLoadError::Truncated;
        return content;
    }
    LadderProgram& ladder = content.ladder;
    ladder.clear();
    in.readI16(ladder.end1Line);
    in.readI16(ladder.stepCount);
    in.readI16(ladder.end1Step);
    QByteArrayView field;
    in.readBytes(ff::kVersionBytes, field);
    content.info.version = vantor::fromGbk(fixedText(field));
    in.readBytes(ff::kMachineBytes, field);
    content.info.machine = vantor::fromGbk(fixedText(field));
    in.readBytes(ff::kModifierBytes, field);
    content.info.modifier = vantor::fromGbk(fixedText(field));
    in.readBytes(ff::kSaveTimeBytes, field);
    content.info.saveTime = vantor::fromGbk(fixedText(field));

    // The length was checked above: the cells are read straight from the bytes (fifty
    // thousand of them, a bounds check and a text search each would be most of the load).
    in.readBytes(qsizetype(lines) * ff::kLineBytes, field);
    const auto* p = reinterpret_cast<const unsigned char*>(field.data());
    const auto word = [](const unsigned char* at) { return std::uint16_t(at[0] | (at[1] << 8)); };
    // One row filled over and over: every field a file holds is written for each cell, the
    // rest stays as a fresh row has it.
    LadderRow row;
    for (int l = 0; l < lines; ++l) {
        for (int c = 0; c < kColumns; ++c, p += ff::kCellBytes) {
            LadderCell& cell = row[c];
            cell.code = word(p);
            cell.verticalLink = word(p + 2);
            cell.number = std::int16_t(word(p + 4));
            // Most cells are wires, without text.
            if (p[6] == 0)
                cell.textBytes = {};
            else
                cell.textBytes = cellText(p + 6);
            // Without a magic number, unknown element codes are what tells another file apart.
            if (kindOf(cell.code) > kCoilNot && !isFunctionBlockCode(cell.code))
                content.error = LadderLoadError::NotLadder;
        }
        ladder.appendLoadedLine(row);
    }
    ladder.recomputeTableRows();

    if (!withComments)
        return content;
    content.comments = CommentLoadResult::Loaded;
    if (in.atEnd())
        return content;
    content.commentBytes = owner ? *owner : bytes.sliced(in.position()).toByteArray();
    content.commentOffset = owner ? in.position() : 0;
    if (!forEachCommentRecord(QByteArrayView(content.commentBytes).sliced(content.commentOffset), [](const CommentRecord&) {}))
        content.comments = CommentLoadResult::Failed;
    return content;
}

}  // namespace

LadderFileContent parseLadderFile(QByteArrayView bytes, bool withComments)
{
    return parseLadder(bytes, withComments, nullptr);
}

LadderFileContent parseLadderFile(const QByteArray& bytes, bool withComments)
{
    // Only an array that owns its bytes can be shared; one over raw data is copied from.
    QByteArray shared = bytes;
    return parseLadder(shared, withComments, shared.data_ptr().isMutable() ? &shared : nullptr);
}

void applyCommentRecords(const std::vector<CommentRecord>& records, LadderProgram& ladder, CommentTables& tables)
{
    std::vector<QByteArrayView> bytes;
    bytes.reserve(records.size());
    for (const CommentRecord& r : records)
        bytes.emplace_back(r.text);
    const std::vector<QString> texts = decodeGbkTexts(bytes);
    for (size_t i = 0; i < records.size(); ++i) {
        const CommentRecord& r = records[i];
        switch (r.tag) {
        case ff::kTagLineNote: ladder.setNote(int(r.index), texts[i]); break;
        case ff::kTagNotation: tables.notation.set(int(r.index), texts[i]); break;
        case ff::kTagRelayNotation: tables.relay.set(int(r.index), texts[i]); break;
        default: break;
        }
    }
}

namespace {

// The comment part a document keeps for its deferred tables.
struct StoredComments {
    QByteArray bytes;
    qsizetype offset = 0;
    // The records of one table that fall inside it (size entries), in file order.
    template <class Visit>
    void forEachOf(quint16 tag, size_t size, Visit&& visit) const
    {
        forEachCommentRecord(QByteArrayView(bytes).sliced(offset), [&](const CommentRecord& r) {
            if (r.tag == tag && r.index < size)
                visit(r);
        });
    }
};

}  // namespace

void deferCommentRecords(LadderFileContent& content, LadderProgram& ladder, CommentTables& tables)
{
    // Each table walks the records again when first used, picking its own: cheaper than
    // keeping a list of every record for the open.
    auto stored = std::make_shared<const StoredComments>(StoredComments{std::move(content.commentBytes), content.commentOffset});
    content.commentBytes.clear();
    content.commentOffset = 0;
    const auto fillFor = [&stored](quint16 tag) {
        return [stored, tag](std::vector<QString>& texts) {
            std::vector<QByteArrayView> bytes;
            std::vector<quint32> at;
            stored->forEachOf(tag, texts.size(), [&](const CommentRecord& r) {
                bytes.push_back(r.text);
                at.push_back(r.index);
            });
            std::vector<QString> decoded = decodeGbkTexts(bytes);
            for (size_t i = 0; i < at.size(); ++i)
                texts[at[i]] = std::move(decoded[i]);
        };
    };
    const auto bytesFor = [&stored](quint16 tag) {
        return [stored, tag](std::vector<QByteArrayView>& entries) {
            stored->forEachOf(tag, entries.size(), [&](const CommentRecord& r) { entries[r.index] = r.text; });
        };
    };
    ladder.setDeferredNotes(fillFor(ff::kTagLineNote), bytesFor(ff::kTagLineNote));
    tables.notation.setDeferred(fillFor(ff::kTagNotation), bytesFor(ff::kTagNotation));
    tables.relay.setDeferred(fillFor(ff::kTagRelayNotation), bytesFor(ff::kTagRelayNotation));
}

qint16 numberFromCellText(QByteArrayView text)
{
    return cellNumberOfText(text);
}

qint16 version1Number(const LadderCell& cell)
{
    const QByteArray text = cell.text();
    if (text.isEmpty())
        return cell.number;
    switch (text[0]) {
    case 'X': case 'Y': case 'G': case 'F': case 'R': case 'K': case 'A':
        return qint16(std::atoi(text.constData() + 1));
    default:
        return cell.number;
    }
}

namespace {

void writeLadderPart(ByteWriter& out, const LadderProgram& ladder, const LadderInfo& info, NumberField numbers)
{
    const int lines = ladder.lineCount();
    out.reserveMore(ff::kHeaderBytes + qsizetype(lines) * ff::kLineBytes);
    out.writeU16(lines == 0 ? ff::kNoLinesWord : quint16(lines - 1));
    out.writeI16(ladder.end1Line);
    out.writeI16(ladder.stepCount);
    out.writeI16(ladder.end1Step);
    out.writeFixed(gbkPrefix(vantor::toGbk(info.version), ff::kVersionBytes), ff::kVersionBytes);
    out.writeFixed(gbkPrefix(vantor::toGbk(info.machine), ff::kMachineBytes), ff::kMachineBytes);
    out.writeFixed(gbkPrefix(vantor::toGbk(info.modifier), ff::kModifierBytes), ff::kModifierBytes);
    out.writeFixed(gbkPrefix(vantor::toGbk(info.saveTime), ff::kSaveTimeBytes - 1), ff::kSaveTimeBytes, true);
    for (int l = 0; l < lines; ++l) {
        const LadderRow& row = ladder.line(l);
        for (int c = 0; c < kColumns; ++c) {
            const LadderCell& cell = row[c];
            const QByteArrayView text(cell.textBytes.data(), qstrnlen(cell.textBytes.data(), kCellTextBytes));
            out.writeU16(cell.code);
            out.writeU16(cell.verticalLink != 0 ? 1 : 0);
            out.writeI16(numbers == NumberField::FromText ? numberFromCellText(text) : version1Number(cell));
            out.writeFixed(text, ff::kCellTextBytes, true);
        }
    }
}

void writeCommentRecords(ByteWriter& out, const LadderProgram& ladder, const CommentTables& tables)
{
    std::vector<QByteArrayView> stored;
    std::vector<const QString*> texts;
    std::vector<int> at;
    // A table nobody has read since its file was opened goes back as the file held it: no
    // decoding and encoding again, and bytes that would not convert back stay as they were.
    const auto write = [&](quint16 tag, int size, bool unread, const auto& textAt) {
        if (unread) {
            qsizetype bytes = 0;
            for (int i = 0; i < size; ++i)
                bytes += recordBytes(stored[size_t(i)]);
            out.reserveMore(bytes);
            for (int i = 0; i < size; ++i)
                if (!stored[size_t(i)].isEmpty())
                    writeRecord(out, tag, i, stored[size_t(i)]);
            return;
        }
        texts.clear();
        at.clear();
        for (int i = 0; i < size; ++i) {
            const QString& text = textAt(i);
            if (!text.isEmpty()) {
                texts.push_back(&text);
                at.push_back(i);
            }
        }
        const std::vector<QByteArray> gbk = encodeGbkTexts(texts);
        qsizetype bytes = 0;
        for (const QByteArray& b : gbk)
            bytes += recordBytes(b);
        out.reserveMore(bytes);
        for (size_t k = 0; k < gbk.size(); ++k)
            writeRecord(out, tag, at[k], gbk[k]);
    };
    write(ff::kTagLineNote, kMaxLines, ladder.storedNoteBytes(stored),
          [&](int i) -> const QString& { return ladder.note(i); });
    write(ff::kTagNotation, kNotationEntries, tables.notation.storedBytes(stored),
          [&](int i) -> const QString& { return tables.notation.at(i); });
    write(ff::kTagRelayNotation, kRelayNotationEntries, tables.relay.storedBytes(stored),
          [&](int i) -> const QString& { return tables.relay.at(i); });
}

}  // namespace

QByteArray formatLadderPart(const LadderProgram& ladder, const LadderInfo& info, NumberField numbers)
{
    ByteWriter out;
    writeLadderPart(out, ladder, info, numbers);
    return out.take();
}

QByteArray formatCommentRecords(const LadderProgram& ladder, const CommentTables& tables)
{
    ByteWriter out;
    writeCommentRecords(out, ladder, tables);
    return out.take();
}

QByteArray formatLadderFile(const LadderProgram& ladder, const LadderInfo& info, const CommentTables* tables)
{
    ByteWriter out;
    writeLadderPart(out, ladder, info, NumberField::FromText);
    if (tables)
        writeCommentRecords(out, ladder, *tables);
    return out.take();
}

void normalizeFunctionBlocks(LadderProgram& ladder)
{
    int i = 0;
    while (i < ladder.lineCount()) {
        const LadderRow& row = ladder.line(i);
        const int column = firstBlockCell(row);
        const Version1Rule* rule = column < 0 ? nullptr : version1Rule(row[column].code);
        const BlockShape shape = rule ? blockShape(row[column].code) : BlockShape{};
        if (!rule || blockLineOf(row[column].code) != 0 || shape.height < 2) {
            ++i;
            continue;
        }
        const quint16 code = row[column].code;
        const int h = shape.height;
        const int w = shape.width;
        const int lastColumn = qMin(kColumns - 1, column + w - 1);
        int missing = h;
        for (int e = 1; e < h; ++e) {
            const int at = i + e;
            if (at >= ladder.lineCount()
                || ladder.line(at)[column].code != blockCellCode(code, e, blockColumnOf(code))) {
                missing = e;
                break;
            }
        }
        if (missing == h) {
            for (int e = 1; e < h; ++e) {
                LadderRow* lower = ladder.mutableLine(i + e);
                for (int c = column; c <= lastColumn; ++c)
                    (*lower)[c].setText({});
            }
        } else if (ladder.restoreLines(i + missing, std::vector<LadderRow>(size_t(h - missing)))
                   == InsertResult::Inserted) {
            // Grown up to what the file format holds, not the editing limit: a version 1.0
            // file of 4999 lines must still get its blocks back whole.
            for (int l = missing; l < h; ++l) {
                LadderRow* inserted = ladder.mutableLine(i + l);
                for (int c = column; c <= lastColumn; ++c) {
                    LadderCell& cell = (*inserted)[c];
                    cell.clear();
                    cell.code = blockCellCode(code, l, c - column);
                }
            }
        }
        i += h;
    }
}

std::optional<LadderProgram> makeVersion1Copy(const LadderProgram& ladder, int* offendingLine)
{
    LadderProgram copy(ladder);
    for (int n = 0; n < kMaxLines; ++n)
        copy.setNote(n, {});
    int i = 0;
    int original = 0;   // line number in the edit ladder, for the report
    while (i < copy.lineCount()) {
        const LadderRow& row = copy.line(i);
        const int column = firstBlockCell(row);
        const Version1Rule* rule = column < 0 ? nullptr : version1Rule(row[column].code);
        if (rule && rule->unknown) {
            if (offendingLine)
                *offendingLine = original;
            return std::nullopt;
        }
        if (rule && rule->shortened && blockLineOf(row[column].code) != 0)
            copy.deleteLines(i, 1);
        else
            ++i;
        ++original;
    }
    return copy;
}

}  // namespace rungpad
