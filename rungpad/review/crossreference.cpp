// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/review/crossreference.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/review/reviewtexts.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <map>

namespace rungpad {

namespace {

int prefixRank(QByteArrayView prefix) { return addressPrefixRank(prefix); }

quint32 keyOf(int rank, int byte, int bit) { return quint32(rank) << 24 | quint32(byte) << 4 | quint32(bit + 1); }

// Parameter columns (1-based block columns) that a block writes. Everything else that names
// an address is read. SFT shifts its data in place: a write (it also reads it).
struct Destination {
    quint16 instruction;
    int column;
};
constexpr Destination kDestinations[] = {
    {fn::ADD, 4}, {fn::SUB, 4}, {fn::EOR, 4}, {fn::ANDF, 4}, {fn::ORF, 4}, {fn::MOVN, 3}, {fn::MOVB, 2},
    {fn::MOVW, 2}, {fn::DSCH, 5}, {fn::XMOV, 4}, {fn::DEC, 4}, {fn::COD, 4}, {fn::NOT, 3}, {fn::ROT, 4},
    {fn::SFT, 1},
};

bool writesColumn(quint16 instruction, int column)
{
    for (const Destination& d : kDestinations)
        if (d.instruction == instruction && d.column == column)
            return true;
    return false;
}

// Block parameters that are timer, counter and edge numbers.
std::optional<NumberKind> numberParameter(quint16 instruction, int column)
{
    switch (instruction) {
    case fn::TMR: return column == 1 ? std::optional(NumberKind::Timer) : std::nullopt;
    case fn::TMRC: return column == 2 ? std::optional(NumberKind::Timer) : std::nullopt;
    case fn::TMRB: return column == 2 ? std::optional(NumberKind::TimerB) : std::nullopt;
    case fn::CTR: return column == 1 ? std::optional(NumberKind::Counter) : std::nullopt;
    case fn::DIFU:
    case fn::DIFD: return column == 1 ? std::optional(NumberKind::Edge) : std::nullopt;
    default: return std::nullopt;
    }
}

// Signals that come from outside the ladder: machine inputs (X) and the controller's (F);
// keep relays, data tables, timer and counter presets are set on the controller's screens.
// A read of any of them needs no write in the ladder.
bool setOutsideTheLadder(const QByteArray& prefix)
{
    return prefix == "X" || prefix == "F" || prefix == "K" || prefix == "D" || prefix == "DC" || prefix == "DT"
        || prefix == "C" || prefix == "T";
}

QString joinPlaces(const std::vector<Place>& places)
{
    QStringList parts;
    for (const Place& p : places)
        parts << placeText(p);
    return parts.join(QStringLiteral(", "));
}

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

}  // namespace

std::optional<LadderAddress> parseLadderAddress(QByteArrayView t)
{
    return parseAddressText(t, kListedAddressSyntax);
}

bool isWrite(UseKind kind)
{
    return kind == UseKind::Coil || kind == UseKind::CoilNot || kind == UseKind::Set || kind == UseKind::Reset
        || kind == UseKind::BlockWrite;
}

int AddressEntry::reads() const
{
    return int(std::count_if(uses.begin(), uses.end(), [](const AddressUse& u) { return !isWrite(u.kind); }));
}

int AddressEntry::writes() const { return int(uses.size()) - reads(); }

const AddressEntry* ProgramCrossReference::find(QByteArrayView addressText) const
{
    const auto a = parseLadderAddress(addressText);
    if (!a)
        return nullptr;
    for (const AddressEntry& e : entries)
        if (e.address == *a)
            return &e;
    return nullptr;
}

bool insideCommentAreas(const LadderAddress& a)
{
    if (a.bit < 0)
        return true;
    // The sections the user notation file writes; F and G come from the diagnosis file.
    if (a.prefix == "X")
        return a.byte <= 6;
    if (a.prefix == "Y")
        return a.byte <= 5;
    if (a.prefix == "K")
        return a.byte >= 6 && a.byte <= 63;
    if (a.prefix == "A")
        return a.byte <= 63;
    if (a.prefix == "R")
        return a.byte <= 999;
    if (a.prefix == "F" || a.prefix == "G")
        return a.byte <= 255;
    return true;
}

ProgramCrossReference buildProgramCrossReference(const LadderProgram& ladder, const CommentTables& comments)
{
    ProgramCrossReference out;
    std::vector<std::pair<quint32, AddressEntry>> entries;
    QHash<quint32, qsizetype> index;
    index.reserve(1024);

    auto addUse = [&](const LadderAddress& a, AddressUse use) {
        const quint32 key = keyOf(prefixRank(a.prefix), a.byte, a.bit);
        auto it = index.constFind(key);
        if (it == index.constEnd()) {
            it = index.insert(key, qsizetype(entries.size()));
            AddressEntry e;
            e.address = a;
            entries.emplace_back(key, std::move(e));
        }
        entries[size_t(*it)].second.uses.push_back(use);
    };

    forEachOperandCell(ladder, [&](int l, int c, const LadderCell& cell) {
        const quint16 kind = kindOf(cell.code);
        UseKind use;
        if (kind == kContactNO)
            use = UseKind::Contact;
        else if (kind == kContactNC)
            use = UseKind::ContactNC;
        else if (kind == kCoil)
            use = UseKind::Coil;
        else if (kind == kCoilNot)
            use = UseKind::CoilNot;
        else {
            const int column = blockColumnOf(cell.code);
            if (const auto n = numberParameter(kind, column)) {
                bool ok = false;
                const int number = cell.text().toInt(&ok);
                if (ok)
                    out.numbers.push_back({*n, number, l, c});
                return;
            }
            if (kind == fn::SET || kind == fn::RST)
                use = kind == fn::SET ? UseKind::Set : UseKind::Reset;
            else
                use = writesColumn(kind, column) ? UseKind::BlockWrite : UseKind::BlockRead;
        }
        if (const auto a = parseLadderAddress(cell.text()))
            addUse(*a, {l, c, use, cell.code});
    });

    std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    out.entries.reserve(entries.size());
    for (auto& [key, e] : entries) {
        if (e.address.bit >= 0)
            e.comment = comments.commentOf(e.address.text());
        out.entries.push_back(std::move(e));
    }

    // What is written where: bits, and whole bytes (a block destination covers every bit).
    QSet<quint32> writtenBits;
    QSet<quint32> writtenBytes;      // any bit or the byte itself
    QSet<quint32> writtenWholeBytes;
    for (const AddressEntry& e : out.entries) {
        if (e.writes() == 0)
            continue;
        const int rank = prefixRank(e.address.prefix);
        writtenBytes.insert(keyOf(rank, e.address.byte, -1));
        if (e.address.bit < 0)
            writtenWholeBytes.insert(keyOf(rank, e.address.byte, -1));
        else
            writtenBits.insert(keyOf(rank, e.address.byte, e.address.bit));
    }

    auto places = [](const AddressEntry& e, auto pred) {
        std::vector<Place> p;
        for (const AddressUse& u : e.uses)
            if (pred(u.kind))
                p.push_back({u.line, u.column});
        return p;
    };
    std::vector<XrefWarning> twice, setOnly, resetOnly, unwritten, outside, numbers;
    for (const AddressEntry& e : out.entries) {
        int coils = 0, sets = 0, resets = 0;
        for (const AddressUse& u : e.uses) {
            coils += u.kind == UseKind::Coil || u.kind == UseKind::CoilNot;
            sets += u.kind == UseKind::Set;
            resets += u.kind == UseKind::Reset;
        }
        const QByteArray subject = e.address.text();
        if (coils >= 2 || (coils >= 1 && sets + resets >= 1))
            twice.push_back({WarningKind::WrittenTwice, subject, {}, places(e, [](UseKind k) {
                                 return k == UseKind::Coil || k == UseKind::CoilNot || k == UseKind::Set || k == UseKind::Reset;
                             })});
        if (sets > 0 && resets == 0)
            setOnly.push_back({WarningKind::SetWithoutReset, subject, {}, places(e, [](UseKind k) { return k == UseKind::Set; })});
        if (resets > 0 && sets == 0)
            resetOnly.push_back({WarningKind::ResetWithoutSet, subject, {}, places(e, [](UseKind k) { return k == UseKind::Reset; })});
        if (e.reads() > 0 && !setOutsideTheLadder(e.address.prefix)) {
            const int rank = prefixRank(e.address.prefix);
            const bool written = e.address.bit < 0
                ? writtenBytes.contains(keyOf(rank, e.address.byte, -1))
                : writtenBits.contains(keyOf(rank, e.address.byte, e.address.bit))
                    || writtenWholeBytes.contains(keyOf(rank, e.address.byte, -1));
            if (!written)
                unwritten.push_back({WarningKind::ReadNeverWritten, subject, {}, places(e, [](UseKind k) { return !isWrite(k); })});
        }
        if (!insideCommentAreas(e.address))
            outside.push_back({WarningKind::OutsideCommentArea, subject, {}, places(e, [](UseKind) { return true; })});
    }
    std::map<std::pair<int, int>, std::vector<Place>> numberPlaces;
    for (const NumberUse& n : out.numbers)
        numberPlaces[{int(n.kind), n.number}].push_back({n.line, n.column});
    for (const auto& [key, p] : numberPlaces)
        if (p.size() > 1)
            numbers.push_back({WarningKind::NumberTwice, QByteArray::number(key.second), NumberKind(key.first), p});

    for (auto* list : {&twice, &setOnly, &resetOnly, &unwritten, &numbers, &outside})
        for (XrefWarning& w : *list)
            out.warnings.push_back(std::move(w));
    return out;
}

QString placeText(const Place& p)
{
    return QStringLiteral("%1/%2").arg(p.line + 1, 4, 10, QLatin1Char('0')).arg(p.column + 1);
}

QString useText(const AddressUse& use, int language)
{
    switch (use.kind) {
    case UseKind::Contact: return reviewText(ReviewText::UseContact, language);
    case UseKind::ContactNC: return reviewText(ReviewText::UseContactNC, language);
    case UseKind::Coil: return reviewText(ReviewText::UseCoil, language);
    case UseKind::CoilNot: return reviewText(ReviewText::UseCoilNot, language);
    case UseKind::Set: return reviewText(ReviewText::UseSet, language);
    case UseKind::Reset: return reviewText(ReviewText::UseReset, language);
    case UseKind::BlockRead:
        return reviewText(ReviewText::UseRead, language).arg(QString::fromLatin1(nameOf(use.code)));
    case UseKind::BlockWrite:
        return reviewText(ReviewText::UseWrite, language).arg(QString::fromLatin1(nameOf(use.code)));
    }
    return {};
}

QString warningText(const XrefWarning& w, int language)
{
    const QString subject = QString::fromLatin1(w.subject);
    const QString where = joinPlaces(w.places);
    switch (w.kind) {
    case WarningKind::WrittenTwice: return reviewText(ReviewText::WarnWrittenTwice, language).arg(subject, where);
    case WarningKind::SetWithoutReset: return reviewText(ReviewText::WarnSetWithoutReset, language).arg(subject, where);
    case WarningKind::ResetWithoutSet: return reviewText(ReviewText::WarnResetWithoutSet, language).arg(subject, where);
    case WarningKind::ReadNeverWritten: return reviewText(ReviewText::WarnReadNeverWritten, language).arg(subject, where);
    case WarningKind::OutsideCommentArea:
        return reviewText(ReviewText::WarnOutsideCommentArea, language).arg(subject, where);
    case WarningKind::NumberTwice: {
        static constexpr ReviewText kNames[] = {ReviewText::NumberTimer, ReviewText::NumberTimerB,
                                                ReviewText::NumberCounter, ReviewText::NumberEdge};
        return reviewText(ReviewText::WarnNumberTwice, language)
            .arg(reviewText(kNames[int(w.numberKind)], language), subject, where);
    }
    }
    return {};
}

QString formatCrossReference(const ProgramCrossReference& xref, int language)
{
    QString out;
    out += reviewText(ReviewText::XrefWarningsHeading, language) + QLatin1Char('\n');
    if (xref.warnings.empty())
        out += QStringLiteral("  ") + reviewText(ReviewText::XrefNoWarnings, language) + QLatin1Char('\n');
    for (const XrefWarning& w : xref.warnings)
        out += QStringLiteral("  ") + warningText(w, language) + QLatin1Char('\n');
    out += QLatin1Char('\n') + reviewText(ReviewText::XrefHeading, language) + QLatin1Char('\n');
    for (const AddressEntry& e : xref.entries) {
        out += QString::fromLatin1(e.address.text());
        if (!e.comment.isEmpty())
            out += QStringLiteral("  ") + e.comment;
        out += QLatin1Char('\n');
        for (const AddressUse& u : e.uses)
            out += QStringLiteral("  %1  %2  %3\n")
                       .arg(placeText({u.line, u.column}),
                            reviewText(isWrite(u.kind) ? ReviewText::AccessWrite : ReviewText::AccessRead, language),
                            useText(u, language));
    }
    return out;
}

QString formatCrossReferenceCsv(const ProgramCrossReference& xref, int language)
{
    QString out = reviewText(ReviewText::XrefColumns, language) + QLatin1Char('\n');
    for (const AddressEntry& e : xref.entries)
        for (const AddressUse& u : e.uses)
            out += QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                       .arg(QString::fromLatin1(e.address.text()), csvField(e.comment))
                       .arg(u.line + 1)
                       .arg(u.column + 1)
                       .arg(csvField(useText(u, language)),
                            reviewText(isWrite(u.kind) ? ReviewText::AccessWrite : ReviewText::AccessRead, language));
    for (const XrefWarning& w : xref.warnings)
        out += QStringLiteral("warning,%1\n").arg(csvField(warningText(w, language)));
    return out;
}

}  // namespace rungpad
