// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/ncdocument.h"

#include "common/archive.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace vantor {

namespace {

// A block's user state carries the end of a line that ends unlike the rest of its file;
// the NC editors use the state for nothing else.
constexpr int kEndStateBase = 0x4E430;

int stateFor(NcLineEnd end) { return kEndStateBase + int(end); }

bool endFromState(int state, NcLineEnd* end)
{
    if (state < kEndStateBase || state > kEndStateBase + int(NcLineEnd::Cr))
        return false;
    *end = NcLineEnd(state - kEndStateBase);
    return true;
}

}  // namespace

void NcDocumentFormat::load(QPlainTextEdit& editor, NcDecodedText decoded)
{
    format_ = decoded.format;
    mixedEnds_ = !decoded.exceptions.empty();
    editor.setPlainText(decoded.text);
    decoded.text.clear();  // the document holds its own copy; give the memory back before painting
    if (mixedEnds_) {
        QTextDocument* doc = editor.document();
        for (const NcLineEndException& e : decoded.exceptions) {
            QTextBlock block = doc->findBlockByNumber(e.line);
            if (block.isValid())
                block.setUserState(stateFor(e.end));
        }
    }
    editor.document()->setModified(false);
}

NcEncodedText NcDocumentFormat::encode(const QTextDocument& document) const
{
    // toPlainText() would also turn no-break spaces into spaces; the raw text keeps every character.
    QString text = document.toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    std::vector<NcLineEndException> exceptions;
    if (mixedEnds_) {
        NcLineEnd end;
        for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
            if (endFromState(b.userState(), &end))
                exceptions.push_back({b.blockNumber(), end});
    }
    return encodeNcText(text, format_, exceptions);
}

bool loadNcFile(QPlainTextEdit& editor, NcDocumentFormat& format, const QString& path, QString* error)
{
    std::optional<QByteArray> bytes = readWholeFile(path, error);
    if (!bytes)
        return false;
    NcDecodedText decoded = decodeNcText(*bytes);
    bytes.reset();
    format.load(editor, std::move(decoded));
    return true;
}

NcSaveResult saveNcFile(QPlainTextEdit& editor, const NcDocumentFormat& format, const QString& path)
{
    NcSaveResult result;
    NcEncodedText encoded = format.encode(*editor.document());
    if (!encoded.ok) {
        result.badLine = encoded.badLine;
        result.badCharacter = encoded.badCharacter;
        return result;
    }
    const ArchiveFileResult written = saveFileAtomically(path, encoded.bytes);
    if (!written.ok) {
        result.writeError = written.error;
        return result;
    }
    editor.document()->setModified(false);
    result.ok = true;
    return result;
}

namespace {

// The document's text in one piece for searches further than a screen or two away, kept
// until the document changes (a run of "find next" builds it once).
const QString kRawTextCacheName = QStringLiteral("vantorNcRawText");

class RawTextCache : public QObject {
public:
    explicit RawTextCache(QTextDocument* doc) : QObject(doc)
    {
        setObjectName(kRawTextCacheName);
        connect(doc, &QTextDocument::contentsChanged, this, [this] {
            text_ = QString();
            valid_ = false;
        });
    }
    const QString& text(const QTextDocument& doc)
    {
        if (!valid_) {
            text_ = doc.toRawText();
            valid_ = true;
        }
        return text_;
    }

private:
    QString text_;
    bool valid_ = false;
};

constexpr int kNearbyLines = 2000;

// Case-insensitive search for a word of ASCII characters (what NC programs are searched for):
// Qt's general case-insensitive scan folds every character of 40 MB through the Unicode
// tables, several times slower than comparing A-Z and a-z directly.
qsizetype indexOfAsciiNoCase(QStringView text, QStringView word, qsizetype from)
{
    const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
    const qsizetype n = word.size();
    const char16_t first = lower(word[0].unicode());
    const char16_t* p = reinterpret_cast<const char16_t*>(text.data());
    for (qsizetype i = from; i + n <= text.size(); ++i) {
        if (lower(p[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < n && lower(p[i + k]) == lower(word[k].unicode()))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

bool isAscii(QStringView word)
{
    return std::all_of(word.begin(), word.end(), [](QChar c) { return c.unicode() < 0x80; });
}

}  // namespace

bool findNcText(QPlainTextEdit& editor, const QString& what, bool matchCase)
{
    if (what.isEmpty())
        return false;
    QTextDocument* doc = editor.document();
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    QTextCursor cursor = editor.textCursor();
    const int from = cursor.selectionEnd();
    qsizetype found = -1;
    // Line by line nearby: most searches end within a screen or two of the caret.
    QTextBlock block = doc->findBlock(from);
    for (int n = 0; block.isValid() && n < kNearbyLines; ++n, block = block.next()) {
        const qsizetype i = block.text().indexOf(what, std::max(0, from - block.position()), cs);
        if (i >= 0) {
            found = block.position() + i;
            break;
        }
    }
    if (found < 0 && block.isValid()) {
        // Positions in the raw text are document positions: a line break is one character
        // (U+2029) in both, and a search word never holds one, so no match spans two lines.
        // Found by name: findChild<T> needs T's own meta-object, which this helper lacks.
        auto* cache = dynamic_cast<RawTextCache*>(doc->findChild<QObject*>(kRawTextCacheName, Qt::FindDirectChildrenOnly));
        if (!cache)
            cache = new RawTextCache(doc);
        const QString& text = cache->text(*doc);
        found = (matchCase || !isAscii(what)) ? text.indexOf(what, block.position(), cs)
                                              : indexOfAsciiNoCase(text, what, block.position());
    }
    if (found < 0)
        return false;
    cursor.setPosition(int(found));
    cursor.setPosition(int(found + what.size()), QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
    return true;
}

}  // namespace vantor
