// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/ncdocument.h"

#include "common/archive.h"
#include "common/ui/nceditor.h"

namespace vantor {

void NcDocumentFormat::load(NcEditor& editor, NcDecodedText decoded)
{
    format_ = decoded.format;
    // The editor keeps the decoded string itself: one copy of the program in memory.
    editor.setText(std::move(decoded.text), decoded.exceptions);
}

NcEncodedText NcDocumentFormat::encode(const NcEditor& editor) const
{
    return encodeNcText(editor.toPlainText(), format_, editor.store().lineEndExceptions());
}

bool loadNcFile(NcEditor& editor, NcDocumentFormat& format, const QString& path, QString* error)
{
    std::optional<QByteArray> bytes = readWholeFile(path, error);
    if (!bytes)
        return false;
    NcDecodedText decoded = decodeNcText(*bytes);
    bytes.reset();
    format.load(editor, std::move(decoded));
    return true;
}

NcSaveResult saveNcFile(NcEditor& editor, const NcDocumentFormat& format, const QString& path)
{
    NcSaveResult result;
    NcEncodedText encoded = format.encode(editor);
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
    editor.setModified(false);
    result.ok = true;
    return result;
}

bool findNcText(NcEditor& editor, const QString& what, bool matchCase)
{
    return editor.find(what, matchCase);
}

}  // namespace vantor
