// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/nctext.h"

#include "common/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace vantor {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool isAscii(QByteArrayView bytes)
{
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    // Eight bytes at a time: a 20 MB program is checked in a few milliseconds.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) & 0x80)
            return false;
    return true;
}

// Stops at the first byte that cannot be UTF-8, so a GBK program is told apart at its first
// Chinese character instead of after a full decoding attempt.
bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (!(word & 0x8080808080808080ULL)) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
        if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

QByteArrayView endBytes(NcLineEnd end)
{
    switch (end) {
    case NcLineEnd::CrLf:
        return "\r\n";
    case NcLineEnd::Cr:
        return "\r";
    case NcLineEnd::Lf:
        break;
    }
    return "\n";
}

// One encoder and decoder for the whole search, so finding the bad line in a long program
// does not set up a converter per line.
struct RoundTrip {
    explicit RoundTrip(NcTextFormat::Encoding encoding) : utf8(encoding == NcTextFormat::Encoding::Utf8) {}

    bool holds(QStringView text)
    {
        if (utf8) {
            QStringEncoder enc(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QByteArray bytes = enc.encode(text);
            return !enc.hasError() && QString::fromUtf8(bytes) == text;
        }
        const QByteArray bytes = toGbk(text.toString());
        return fromGbk(bytes) == text;
    }

    bool utf8;
};

// The first line (1-based) and character that do not survive the encoding.
void findUnencodable(QStringView text, NcTextFormat::Encoding encoding, NcEncodedText& out)
{
    RoundTrip trip(encoding);
    int line = 1;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView row = text.mid(start, end - start);
        if (!trip.holds(row)) {
            out.badLine = line;
            for (qsizetype i = 0; i < row.size(); ++i) {
                const qsizetype width = (row[i].isHighSurrogate() && i + 1 < row.size()) ? 2 : 1;
                const QStringView ch = row.mid(i, width);
                if (!trip.holds(ch)) {
                    out.badCharacter = ch.toString();
                    return;
                }
                i += width - 1;
            }
            out.badCharacter = row.toString();  // only the line as a whole fails (a split sequence)
            return;
        }
        start = end + 1;
        ++line;
    }
    out.badLine = 1;
}

}  // namespace

NcDecodedText decodeNcText(QByteArrayView bytes)
{
    NcDecodedText out;
    if (bytes.startsWith(QByteArrayView(kUtf8Bom, 3))) {
        out.format.byteOrderMark = true;
        out.format.encoding = NcTextFormat::Encoding::Utf8;
        bytes = bytes.sliced(3);
    }

    // Line ends: '\r' and '\n' never occur inside a GBK or UTF-8 character, so bytes decide.
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    const qsizetype newlines = std::count(p, p + n, '\n');
    qsizetype crlf = 0, cr = 0;
    // An empty view may have no data pointer at all, which memchr must not be given.
    for (const char* at = n > 0 ? static_cast<const char*>(std::memchr(p, '\r', size_t(n))) : nullptr; at;
         at = static_cast<const char*>(std::memchr(at + 1, '\r', size_t(p + n - at - 1)))) {
        if (at + 1 < p + n && at[1] == '\n')
            ++crlf;
        else
            ++cr;
    }
    const qsizetype lf = newlines - crlf;
    if (crlf > 0 && crlf >= lf && crlf >= cr)
        out.format.lineEnd = NcLineEnd::CrLf;
    else if (cr > lf)
        out.format.lineEnd = NcLineEnd::Cr;

    QByteArrayView body = bytes;
    QByteArray joined;
    if (crlf + cr > 0) {
        joined.resize(n - crlf);
        char* w = joined.data();
        int line = 0;
        const auto lineEnded = [&](NcLineEnd kind) {
            *w++ = '\n';
            if (kind != out.format.lineEnd)
                out.exceptions.push_back({line, kind});
            ++line;
        };
        // Line by line with memchr and one copy a line: a byte-by-byte loop took most of the
        // decoding time of a 20 MB program.
        const char* at = p;
        const char* const end = p + n;
        while (at < end) {
            const char* nl = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
            const char* lineEnd = nl ? nl : end;
            const char* text = (nl && lineEnd > at && lineEnd[-1] == '\r') ? lineEnd - 1 : lineEnd;
            // A CR not followed by LF ends a line of its own.
            for (const char* lone = static_cast<const char*>(std::memchr(at, '\r', size_t(text - at))); lone;
                 lone = static_cast<const char*>(std::memchr(at, '\r', size_t(text - at)))) {
                std::memcpy(w, at, size_t(lone - at));
                w += lone - at;
                lineEnded(NcLineEnd::Cr);
                at = lone + 1;
            }
            std::memcpy(w, at, size_t(text - at));
            w += text - at;
            if (!nl)
                break;
            lineEnded(text != lineEnd ? NcLineEnd::CrLf : NcLineEnd::Lf);
            at = nl + 1;
        }
        joined.resize(w - joined.data());
        body = joined;
    }

    if (out.format.byteOrderMark) {
        // Any further U+FEFF is text and stays.
        QStringDecoder dec(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        out.text = dec.decode(body);
    } else if (isAscii(body)) {
        out.text = QString::fromLatin1(body.data(), body.size());
    } else if (isValidUtf8(body)) {
        out.format.encoding = NcTextFormat::Encoding::Utf8;
        QStringDecoder dec(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        out.text = dec.decode(body);
    } else {
        out.text = fromGbk(body);
    }
    return out;
}

NcEncodedText encodeNcText(QStringView text, const NcTextFormat& format,
                           const std::vector<NcLineEndException>& exceptions)
{
    NcEncodedText out;
    QByteArray body;
    bool holds;
    if (format.encoding == NcTextFormat::Encoding::Utf8) {
        QStringEncoder enc(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        body = enc.encode(text);
        holds = !enc.hasError();
    } else {
        const QString whole = text.toString();
        body = toGbk(whole);
        // The code page writes '?' for what it cannot hold; only the way back shows it.
        holds = fromGbk(body) == whole;
    }
    if (!holds) {
        findUnencodable(text, format.encoding, out);
        return out;
    }

    if (format.lineEnd == NcLineEnd::Lf && exceptions.empty() && !format.byteOrderMark) {
        out.bytes = std::move(body);
        out.ok = true;
        return out;
    }
    const QByteArrayView usual = endBytes(format.lineEnd);
    const char* p = body.constData();
    const qsizetype n = body.size();
    out.bytes.reserve(n + (format.byteOrderMark ? 3 : 0) + std::count(p, p + n, '\n') * (usual.size() - 1) + 16);
    if (format.byteOrderMark)
        out.bytes.append(kUtf8Bom, 3);
    auto exception = exceptions.begin();
    int line = 0;
    qsizetype start = 0;
    for (;;) {
        const char* nl = static_cast<const char*>(std::memchr(p + start, '\n', size_t(n - start)));
        if (!nl) {
            out.bytes.append(p + start, n - start);
            break;
        }
        const qsizetype end = nl - p;
        out.bytes.append(p + start, end - start);
        while (exception != exceptions.end() && exception->line < line)
            ++exception;
        if (exception != exceptions.end() && exception->line == line)
            out.bytes.append(endBytes(exception->end));
        else
            out.bytes.append(usual);
        start = end + 1;
        ++line;
    }
    out.ok = true;
    return out;
}

}  // namespace vantor
