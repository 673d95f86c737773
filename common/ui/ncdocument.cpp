#include "common/ui/ncdocument.h"

#include "common/archive.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

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

bool findNcText(QPlainTextEdit& editor, const QString& what, bool matchCase)
{
    if (what.isEmpty())
        return false;
    const QTextDocument* doc = editor.document();
    // Positions in the raw text are document positions: a line break is one character
    // (U+2029) in both, and a search word never holds one, so no match spans two lines.
    const QString text = doc->toRawText();
    QTextCursor cursor = editor.textCursor();
    const qsizetype at = text.indexOf(what, cursor.selectionEnd(), matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
    if (at < 0)
        return false;
    cursor.setPosition(int(at));
    cursor.setPosition(int(at + what.size()), QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
    return true;
}

}  // namespace vantor
