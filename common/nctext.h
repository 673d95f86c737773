// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An NC program's bytes are the program: the editors show it as text but write back exactly
// the encoding and line ends it was read with. Decoding notes how the file was stored;
// encoding reproduces that, and refuses (naming the line) a character the encoding cannot hold
// instead of writing a '?' in its place.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace vantor {

enum class NcLineEnd : std::uint8_t { Lf, CrLf, Cr };

struct NcTextFormat {
    enum class Encoding : std::uint8_t { Gbk, Utf8 };
    Encoding encoding = Encoding::Gbk;
    bool byteOrderMark = false;       // a UTF-8 file that began with EF BB BF
    NcLineEnd lineEnd = NcLineEnd::Lf;  // the file's usual line end; new lines get it too
};

// A line (0-based) whose end differs from the file's usual one, in a file that mixes them.
struct NcLineEndException {
    int line = 0;
    NcLineEnd end = NcLineEnd::Lf;
};

struct NcDecodedText {
    QString text;  // lines joined by '\n', whatever the file used
    NcTextFormat format;
    std::vector<NcLineEndException> exceptions;  // sorted by line; empty unless the file mixes ends
};

// Guesses the encoding: a UTF-8 byte order mark or bytes that are valid UTF-8 (and not plain
// ASCII) mean UTF-8, anything else is the controller's GBK. The usual line end is the most
// frequent one; a file without any takes LF.
NcDecodedText decodeNcText(QByteArrayView bytes);

struct NcEncodedText {
    bool ok = false;
    QByteArray bytes;
    // When not ok: the first line (1-based) holding a character the encoding cannot store,
    // and that character.
    int badLine = 0;
    QString badCharacter;
};

// text: lines joined by '\n'. exceptions: sorted by line, as decodeNcText gives them.
NcEncodedText encodeNcText(QStringView text, const NcTextFormat& format,
                           const std::vector<NcLineEndException>& exceptions = {});

}  // namespace vantor
