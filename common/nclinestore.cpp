// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/nclinestore.h"

#include <algorithm>
#include <bit>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantor {

namespace {

bool isAscii(QStringView word)
{
    return std::all_of(word.begin(), word.end(), [](QChar c) { return c.unicode() < 0x80; });
}

char16_t lowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// The next place from i whose character may start the word: c | 0x20 equal to the word's first
// letter in lower case (a few non-letters pass too; the full comparison sorts them out).
// Eight characters a step where the processor has SSE2, so a search through a 20 MB
// program stays within a few milliseconds.
qsizetype nextCandidate(const char16_t* p, qsizetype i, qsizetype end, char16_t firstLower, char16_t fold)
{
#if defined(__SSE2__)
    const __m128i want = _mm_set1_epi16(short(firstLower));
    const __m128i bit = _mm_set1_epi16(short(fold));
    for (; i + 8 <= end; i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(chunk, bit), want));
        if (mask)
            return i + std::countr_zero(unsigned(mask)) / 2;
    }
#endif
    for (; i < end; ++i)
        if (char16_t(p[i] | fold) == firstLower)
            return i;
    return end;
}

// NC programs are searched for addresses and words of ASCII letters; folding only A-Z is
// several times faster over 20 MB than Qt's general case folding through the Unicode tables.
qsizetype indexOfAsciiNoCase(QStringView text, QStringView word, qsizetype from)
{
    const qsizetype n = word.size();
    const char16_t first = lowerAscii(word[0].unicode());
    const bool letter = first >= u'a' && first <= u'z';
    const char16_t fold = letter ? 0x20 : 0;
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype last = text.size() - n + 1;  // past the last place a match can start
    for (qsizetype i = std::max<qsizetype>(from, 0); i < last; ++i) {
        i = nextCandidate(p, i, last, first, fold);
        if (i >= last)
            break;
        if (lowerAscii(p[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < n && lowerAscii(p[i + k]) == lowerAscii(word[k].unicode()))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

qsizetype lastIndexOfAsciiNoCase(QStringView text, QStringView word)
{
    const qsizetype n = word.size();
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = text.size() - n; i >= 0; --i) {
        qsizetype k = 0;
        while (k < n && lowerAscii(p[i + k]) == lowerAscii(word[k].unicode()))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

qsizetype indexIn(QStringView hay, QStringView what, qsizetype from, Qt::CaseSensitivity cs)
{
    if (cs == Qt::CaseInsensitive && isAscii(what))
        return indexOfAsciiNoCase(hay, what, from);
    return hay.indexOf(what, from, cs);
}

// The last match lying wholly inside hay.
qsizetype lastIndexIn(QStringView hay, QStringView what, Qt::CaseSensitivity cs)
{
    if (hay.size() < what.size())
        return -1;
    if (cs == Qt::CaseInsensitive && isAscii(what))
        return lastIndexOfAsciiNoCase(hay, what);
    return hay.lastIndexOf(what, hay.size() - what.size(), cs);
}

// The empty line every emptied line shares; never freed.
constexpr int kEmptySlot = 0;

constexpr int kFirstSlice = 16;
constexpr int kRunSlice = 4096;

}  // namespace

NcLineStore::NcLineStore()
{
    setText(QString());
}

void NcLineStore::setText(QString text, const std::vector<NcLineEndException>& exceptions)
{
    // The history and edited lines may refer into the old base string: they go first.
    commands_.clear();
    edited_.assign(1, QString());
    base_ = std::move(text);
    freeSlots_.clear();
    lines_.clear();
    const auto* p = reinterpret_cast<const char16_t*>(base_.utf16());
    const qsizetype n = base_.size();
    lines_.reserve(size_t(std::count(p, p + n, u'\n')) + 1);
    qsizetype start = 0;
    widest_ = 0;
    const QStringView all(base_);
    for (;;) {
        // QStringView's character search is vectorised; a plain loop is several times slower here.
        qsizetype end = all.indexOf(u'\n', start);
        if (end < 0)
            end = n;
        lines_.push_back({start, std::int32_t(end - start), 0});
        widest_ = std::max(widest_, int(end - start));
        if (end == n)
            break;
        start = end + 1;
    }
    for (const NcLineEndException& e : exceptions)
        if (e.line >= 0 && e.line < lineCount())
            lines_[size_t(e.line)].end = std::uint8_t(1 + int(e.end));
    characters_ = n;
    commands_.clear();
    done_ = clean_ = 0;
    groupDepth_ = 0;
    groupOpen_ = mayMerge_ = false;
}

QStringView NcLineStore::line(int i) const
{
    const Line& l = lines_[size_t(i)];
    if (l.start >= 0)
        return QStringView(base_).sliced(l.start, l.length);
    return edited_[size_t(-1 - l.start)];
}

QString NcLineStore::text(NcPos from, NcPos to) const
{
    from = clamp(from);
    to = clamp(to);
    if (to < from)
        std::swap(from, to);
    if (from.line == to.line)
        return line(from.line).sliced(from.column, to.column - from.column).toString();
    qsizetype size = lineLength(from.line) - from.column + 1 + to.column;
    for (int l = from.line + 1; l < to.line; ++l)
        size += lineLength(l) + 1;
    QString out;
    out.reserve(size);
    out += line(from.line).sliced(from.column);
    for (int l = from.line + 1; l < to.line; ++l) {
        out += u'\n';
        out += line(l);
    }
    out += u'\n';
    out += line(to.line).first(to.column);
    return out;
}

QString NcLineStore::text() const
{
    // Nothing edited: the text is the base string itself, shared rather than copied.
    if (commands_.empty())
        return base_;
    return text({0, 0}, end());
}

std::vector<NcLineEndException> NcLineStore::lineEndExceptions() const
{
    std::vector<NcLineEndException> out;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].end != 0)
            out.push_back({int(i), NcLineEnd(lines_[i].end - 1)});
    return out;
}

NcPos NcLineStore::clamp(NcPos p) const
{
    p.line = std::clamp(p.line, 0, lineCount() - 1);
    p.column = std::clamp(p.column, 0, lineLength(p.line));
    return p;
}

NcLineStore::Line NcLineStore::storeLine(QString text, std::uint8_t end)
{
    Line l;
    l.length = std::int32_t(text.size());
    l.end = end;
    int slot = kEmptySlot;
    if (!text.isEmpty()) {
        if (freeSlots_.empty()) {
            slot = int(edited_.size());
            edited_.push_back(std::move(text));
        } else {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
            edited_[size_t(slot)] = std::move(text);
        }
    }
    l.start = -1 - qsizetype(slot);
    return l;
}

void NcLineStore::releaseLine(const Line& l)
{
    if (l.start >= 0)
        return;
    const int slot = int(-1 - l.start);
    if (slot == kEmptySlot)
        return;
    edited_[size_t(slot)] = QString();
    freeSlots_.push_back(slot);
}

NcPos NcLineStore::apply(NcPos from, NcPos to, const QString& text, const std::vector<std::uint8_t>* ends,
                         QString* removed, std::vector<std::uint8_t>* removedEnds)
{
    from = clamp(from);
    to = clamp(to);
    if (to < from)
        std::swap(from, to);
    qsizetype removedSize = to.column - from.column;
    if (from.line != to.line) {
        removedSize = lineLength(from.line) - from.column + 1 + to.column;
        for (int l = from.line + 1; l < to.line; ++l)
            removedSize += lineLength(l) + 1;
    }
    // A whole line replaced by text without a break (replace-all, and its undo and redo) shares
    // the strings with the undo history instead of copying them.
    const bool wholeLine = from.line == to.line && from.column == 0 && to.column == lineLength(to.line)
                           && !text.contains(u'\n');
    if (removed) {
        const Line& old = lines_[size_t(from.line)];
        if (!wholeLine)
            *removed = this->text(from, to);
        else if (old.start < 0)
            *removed = edited_[size_t(-1 - old.start)];
        else  // the base string never changes while the history lives; no copy needed
            *removed = QString::fromRawData(base_.constData() + old.start, old.length);
    }
    if (removedEnds) {
        removedEnds->clear();
        for (int l = from.line; l < to.line; ++l)
            removedEnds->push_back(lines_[size_t(l)].end);
    }

    // Every new line is built before the old ones give back their slots (the views die then).
    std::vector<QString> parts;
    int endColumn = int(text.size());
    if (wholeLine) {
        parts.push_back(text);
    } else {
        for (qsizetype s = 0;;) {
            const qsizetype nl = text.indexOf(u'\n', s);
            parts.push_back((nl < 0 ? QStringView(text).sliced(s) : QStringView(text).sliced(s, nl - s)).toString());
            if (nl < 0)
                break;
            s = nl + 1;
        }
        endColumn = int(parts.back().size()) + (parts.size() == 1 ? from.column : 0);
        parts.front().prepend(line(from.line).first(from.column));
        parts.back().append(line(to.line).sliced(to.column));
    }
    const std::uint8_t tailEnd = lines_[size_t(to.line)].end;

    for (int l = from.line; l <= to.line; ++l)
        releaseLine(lines_[size_t(l)]);
    std::vector<Line> fresh;
    fresh.reserve(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        std::uint8_t end = tailEnd;
        if (i + 1 < parts.size())
            end = (ends && i < ends->size()) ? (*ends)[i] : 0;
        widest_ = std::max(widest_, int(parts[i].size()));
        fresh.push_back(storeLine(std::move(parts[i]), end));
    }
    const size_t oldCount = size_t(to.line - from.line + 1);
    const auto at = lines_.begin() + from.line;
    const size_t common = std::min(oldCount, fresh.size());
    std::copy(fresh.begin(), fresh.begin() + std::ptrdiff_t(common), at);
    if (fresh.size() > oldCount)
        lines_.insert(at + std::ptrdiff_t(oldCount), fresh.begin() + std::ptrdiff_t(oldCount), fresh.end());
    else if (fresh.size() < oldCount)
        lines_.erase(at + std::ptrdiff_t(common), at + std::ptrdiff_t(oldCount));
    characters_ += text.size() - removedSize;
    return {from.line + int(fresh.size()) - 1, endColumn};
}

void NcLineStore::record(Step step)
{
    commands_.resize(size_t(done_));
    if (clean_ > done_)
        clean_ = -1;
    if (groupDepth_ > 0) {
        if (!groupOpen_) {
            commands_.push_back({});
            ++done_;
            groupOpen_ = true;
        }
        commands_.back().steps.push_back(std::move(step));
        mayMerge_ = false;
        return;
    }
    const bool typing = step.removed.isEmpty() && !step.inserted.isEmpty() && !step.inserted.contains(u'\n');
    // Typing merges into one step per word, as long as the caret did not jump in between and
    // the saved state stays a step of its own.
    if (typing && mayMerge_ && clean_ != done_ && !commands_.empty() && commands_.back().steps.size() == 1) {
        Step& last = commands_.back().steps.back();
        const bool wordBreak = step.inserted.front().isSpace() && !last.inserted.back().isSpace();
        if (last.insertedEnd == step.from && !wordBreak) {
            last.inserted += step.inserted;
            last.insertedEnd = step.insertedEnd;
            return;
        }
    }
    commands_.push_back({});
    commands_.back().steps.push_back(std::move(step));
    ++done_;
    mayMerge_ = typing;
}

NcPos NcLineStore::replace(NcPos from, NcPos to, QStringView text)
{
    from = clamp(from);
    to = clamp(to);
    if (to < from)
        std::swap(from, to);
    Step s;
    s.from = from;
    s.removedEnd = to;
    s.inserted = text.toString();
    s.insertedEnd = apply(from, to, s.inserted, nullptr, &s.removed, &s.removedEnds);
    if (s.removed.isEmpty() && text.isEmpty())
        return s.insertedEnd;
    s.insertedEnds.assign(size_t(std::count(text.begin(), text.end(), u'\n')), 0);
    const NcPos end = s.insertedEnd;
    record(std::move(s));
    return end;
}

void NcLineStore::beginGroup()
{
    ++groupDepth_;
}

void NcLineStore::endGroup()
{
    if (groupDepth_ > 0 && --groupDepth_ == 0)
        groupOpen_ = false;
}

std::optional<NcPos> NcLineStore::undo()
{
    if (!canUndo())
        return std::nullopt;
    mayMerge_ = false;
    const Command& c = commands_[size_t(--done_)];
    NcPos caret;
    for (auto it = c.steps.rbegin(); it != c.steps.rend(); ++it)
        caret = apply(it->from, it->insertedEnd, it->removed, &it->removedEnds, nullptr, nullptr);
    return caret;
}

std::optional<NcPos> NcLineStore::redo()
{
    if (!canRedo())
        return std::nullopt;
    mayMerge_ = false;
    const Command& c = commands_[size_t(done_++)];
    NcPos caret;
    for (const Step& s : c.steps)
        caret = apply(s.from, s.removedEnd, s.inserted, &s.insertedEnds, nullptr, nullptr);
    return caret;
}

void NcLineStore::setModified(bool modified)
{
    clean_ = modified ? -1 : done_;
    mayMerge_ = false;
}

std::optional<NcLineStore::Match> NcLineStore::findForward(QStringView what, NcPos from, Qt::CaseSensitivity cs,
                                                           int lastLine) const
{
    int column = from.column;
    int slice = kFirstSlice;
    for (int i = from.line; i <= lastLine;) {
        const Line& l = lines_[size_t(i)];
        if (l.start < 0) {
            const qsizetype k = indexIn(line(i), what, column, cs);
            if (k >= 0)
                return Match{{i, int(k)}, int(what.size())};
            ++i;
            column = 0;
            continue;
        }
        // Lines still as read lie one after another in the base string, their line breaks
        // between them: the whole run is searched in one call.
        // A run is searched a slice at a time, small first and growing, so a search that ends
        // nearby (a replace-all walks from match to match) does not first walk far ahead.
        const int limit = std::min(lastLine, i + slice - 1);
        slice = std::min(slice * 2, kRunSlice);
        int j = i + 1;
        while (j <= limit && lines_[size_t(j)].start >= 0
               && lines_[size_t(j)].start == lines_[size_t(j - 1)].start + lines_[size_t(j - 1)].length + 1)
            ++j;
        const Line& last = lines_[size_t(j - 1)];
        const QStringView span = QStringView(base_).first(last.start + last.length);
        const qsizetype k = indexIn(span, what, l.start + column, cs);
        if (k >= 0) {
            const auto it = std::upper_bound(lines_.begin() + i, lines_.begin() + j, k,
                                             [](qsizetype v, const Line& x) { return v < x.start; });
            const int at = int(it - lines_.begin()) - 1;
            return Match{{at, int(k - lines_[size_t(at)].start)}, int(what.size())};
        }
        i = j;
        column = 0;
    }
    return std::nullopt;
}

std::optional<NcLineStore::Match> NcLineStore::findBackward(QStringView what, NcPos from, Qt::CaseSensitivity cs,
                                                            int firstLine) const
{
    int column = from.column;
    int slice = kFirstSlice;
    for (int i = from.line; i >= firstLine;) {
        const Line& l = lines_[size_t(i)];
        if (l.start < 0) {
            const qsizetype k = lastIndexIn(line(i).first(column), what, cs);
            if (k >= 0)
                return Match{{i, int(k)}, int(what.size())};
            if (--i >= 0)
                column = lineLength(i);
            continue;
        }
        const int limit = std::max(firstLine, i - slice + 1);
        slice = std::min(slice * 2, kRunSlice);
        int j = i;
        while (j - 1 >= limit && lines_[size_t(j - 1)].start >= 0
               && lines_[size_t(j)].start == lines_[size_t(j - 1)].start + lines_[size_t(j - 1)].length + 1)
            --j;
        const qsizetype spanStart = lines_[size_t(j)].start;
        const QStringView span = QStringView(base_).sliced(spanStart, l.start + column - spanStart);
        const qsizetype k = lastIndexIn(span, what, cs);
        if (k >= 0) {
            const auto it = std::upper_bound(lines_.begin() + j, lines_.begin() + i + 1, spanStart + k,
                                             [](qsizetype v, const Line& x) { return v < x.start; });
            const int at = int(it - lines_.begin()) - 1;
            return Match{{at, int(spanStart + k - lines_[size_t(at)].start)}, int(what.size())};
        }
        i = j - 1;
        if (i >= 0)
            column = lineLength(i);
    }
    return std::nullopt;
}

std::optional<NcLineStore::Match> NcLineStore::find(QStringView what, NcPos from, FindOptions options) const
{
    if (what.isEmpty() || what.contains(u'\n'))
        return std::nullopt;
    from = clamp(from);
    const Qt::CaseSensitivity cs = options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (!options.backward) {
        if (auto m = findForward(what, from, cs, lineCount() - 1))
            return m;
        return options.wrap ? findForward(what, {0, 0}, cs, from.line) : std::nullopt;
    }
    if (auto m = findBackward(what, from, cs, 0))
        return m;
    return options.wrap ? findBackward(what, end(), cs, from.line) : std::nullopt;
}

int NcLineStore::replaceAll(QStringView what, QStringView with, bool matchCase)
{
    std::vector<Match> matches;
    for (NcPos at{0, 0};;) {
        const std::optional<Match> m = find(what, at, {matchCase, false, false});
        if (!m)
            break;
        matches.push_back(*m);
        at = {m->at.line, m->at.column + m->length};
    }
    if (matches.empty())
        return 0;
    // Last line first, so the lines still to do keep their numbers whatever the replacement holds.
    size_t changedLines = 0;
    for (size_t m = 0; m < matches.size(); ++m)
        changedLines += (m == 0 || matches[m].at.line != matches[m - 1].at.line) ? 1 : 0;
    beginGroup();
    bool reserved = false;
    for (size_t k = matches.size(); k > 0;) {
        const int ln = matches[k - 1].at.line;
        size_t first = k - 1;
        while (first > 0 && matches[first - 1].at.line == ln)
            --first;
        const QStringView old = line(ln);
        QString fresh;
        int prev = 0;
        for (size_t m = first; m < k; ++m) {
            fresh += old.sliced(prev, matches[m].at.column - prev);
            fresh += with;
            prev = matches[m].at.column + matches[m].length;
        }
        fresh += old.sliced(prev);
        replace({ln, 0}, {ln, int(old.size())}, fresh);
        if (!reserved) {
            commands_.back().steps.reserve(changedLines);
            reserved = true;
        }
        k = first;
    }
    endGroup();
    return int(matches.size());
}

}  // namespace vantor
