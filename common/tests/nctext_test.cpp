// SPDX-License-Identifier: GPL-3.0-or-later
// NC program text: what is read comes back byte for byte, and what cannot be stored is refused.
#include "common/nctext.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

using Enc = NcTextFormat::Encoding;

struct RoundTripCase {
    const char* name;
    QByteArray bytes;
    Enc encoding;
    NcLineEnd lineEnd;
    bool bom;
};

// "程序" in GBK and "Maß, Bär" in UTF-8; the GBK bytes are not valid UTF-8.
const QByteArray kGbkWord("\xB3\xCC\xD0\xF2");
const QByteArray kUtf8Words("Ma\xC3\x9F, B\xC3\xA4r");

TEST(NcText, FilesComeBackByteForByte)
{
    const RoundTripCase cases[] = {
        {"plain LF", "O0001\nG00 X0\nM30\n", Enc::Gbk, NcLineEnd::Lf, false},
        {"CRLF GBK", "O0001 (" + kGbkWord + ")\r\nG00 X0\r\nM30\r\n", Enc::Gbk, NcLineEnd::CrLf, false},
        {"CR only", "O0001\rG00 X0\rM30\r", Enc::Gbk, NcLineEnd::Cr, false},
        {"UTF-8 LF", "(" + kUtf8Words + ")\nM30\n", Enc::Utf8, NcLineEnd::Lf, false},
        {"UTF-8 CRLF", "(" + kUtf8Words + ")\r\nM30\r\n", Enc::Utf8, NcLineEnd::CrLf, false},
        {"UTF-8 BOM", "\xEF\xBB\xBF(" + kUtf8Words + ")\r\n", Enc::Utf8, NcLineEnd::CrLf, true},
        {"BOM, ASCII", "\xEF\xBB\xBFM30\n", Enc::Utf8, NcLineEnd::Lf, true},
        {"no last line end", "G00 X0\r\nM30", Enc::Gbk, NcLineEnd::CrLf, false},
        {"mixed, CRLF most", "N1\r\nN2\nN3\r\nN4\rN5\r\n", Enc::Gbk, NcLineEnd::CrLf, false},
        {"mixed, LF most", "N1\nN2\r\nN3\n\n", Enc::Gbk, NcLineEnd::Lf, false},
        {"blank lines", "\r\n\r\n\r\n", Enc::Gbk, NcLineEnd::CrLf, false},
        {"empty", "", Enc::Gbk, NcLineEnd::Lf, false},
        {"tab and no-break space", "G00\tX0 (\xC2\xA0)\n", Enc::Utf8, NcLineEnd::Lf, false},
        // Not UTF-8 after all: a sequence cut off at the end, a surrogate, an overlong form.
        {"UTF-8 cut short", "N1 (\xC3\xA4)\nN2 \xE4\xB8", Enc::Gbk, NcLineEnd::Lf, false},
        {"encoded surrogate", "N1 (\xED\xA0\xB0\xA1)\n", Enc::Gbk, NcLineEnd::Lf, false},
        {"overlong slash", "N1 (\xC0\xAF)\n", Enc::Gbk, NcLineEnd::Lf, false},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(c.name);
        const NcDecodedText decoded = decodeNcText(c.bytes);
        EXPECT_EQ(decoded.format.encoding, c.encoding);
        EXPECT_EQ(decoded.format.lineEnd, c.lineEnd);
        EXPECT_EQ(decoded.format.byteOrderMark, c.bom);
        EXPECT_FALSE(decoded.text.contains(u'\r'));
        const NcEncodedText encoded = encodeNcText(decoded.text, decoded.format, decoded.exceptions);
        ASSERT_TRUE(encoded.ok);
        EXPECT_EQ(encoded.bytes, c.bytes);
    }
}

TEST(NcText, DecodedTextIsWhatTheUserSees)
{
    EXPECT_EQ(decodeNcText("(" + kGbkWord + ")\r\nM30\r\n").text, QStringLiteral("(程序)\nM30\n"));
    EXPECT_EQ(decodeNcText("(" + kUtf8Words + ")\rM30").text, QStringLiteral("(Maß, Bär)\nM30"));
    // A second byte order mark is a character of the text, not a marker to drop.
    EXPECT_EQ(decodeNcText("\xEF\xBB\xBF\xEF\xBB\xBFX").text, QString(QChar(0xFEFF)) + u'X');
}

TEST(NcText, NewLinesTakeTheFilesUsualEnd)
{
    NcDecodedText d = decodeNcText("N1\r\nN2\nN3\r\n");
    d.text.replace(QStringLiteral("N3\n"), QStringLiteral("N3\nN4 (" "程序" ")\n"));
    const NcEncodedText e = encodeNcText(d.text, d.format, d.exceptions);
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(e.bytes, "N1\r\nN2\nN3\r\nN4 (" + kGbkWord + ")\r\n");
}

TEST(NcText, CharacterTheEncodingCannotHoldIsRefusedWithItsLine)
{
    struct Case {
        const char* name;
        QByteArray file;
        QString text;
        int line;
        QString character;
    } cases[] = {
        {"ß in a GBK file", "N1\r\n", QStringLiteral("N1\nN2\n(Maß)\nM30\n"), 3, QStringLiteral("ß")},
        {"emoji in a GBK file", "N1\n", QStringLiteral("(\U0001F527)"), 1, QStringLiteral("\U0001F527")},
        {"undecodable GBK kept as U+FFFD", "N1\n", QStringLiteral("N1\n\uFFFD\n"), 2, QStringLiteral("\uFFFD")},
        {"lone surrogate in UTF-8", "\xEF\xBB\xBFN1\n", QStringLiteral("N1\nN2 ") + QChar(0xD800), 2, QString(QChar(0xD800))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const NcDecodedText d = decodeNcText(c.file);
        const NcEncodedText e = encodeNcText(c.text, d.format, d.exceptions);
        EXPECT_FALSE(e.ok);
        EXPECT_TRUE(e.bytes.isEmpty());
        EXPECT_EQ(e.badLine, c.line);
        EXPECT_EQ(e.badCharacter, c.character);
    }
    // UTF-8 holds what GBK cannot.
    const NcDecodedText utf8 = decodeNcText("(" + kUtf8Words + ")\n");
    EXPECT_TRUE(encodeNcText(QStringLiteral("(\U0001F527 ß 程序)\n"), utf8.format).ok);
}

TEST(NcText, LargeProgramKeepsItsCrLfEnds)
{
    QByteArray bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += "N" + QByteArray::number(i) + " G01 X" + QByteArray::number(i % 97) + " (" + kGbkWord + ")\r\n";
    const NcDecodedText d = decodeNcText(bytes);
    EXPECT_TRUE(d.exceptions.empty());
    EXPECT_EQ(encodeNcText(d.text, d.format, d.exceptions).bytes, bytes);
}

// Every mix of CR, LF and CR LF, including CRs in a row and a CR at the very end, comes back
// byte for byte, with one line per break in the decoded text.
TEST(NcText, AnyMixOfLineEndsComesBackByteForByte)
{
    const char pieces[] = {'N', '\r', '\n', '1'};
    std::uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes;
        const int length = round % 23;
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            bytes += pieces[(seed >> 16) % 4];
        }
        SCOPED_TRACE(bytes.toPercentEncoding().toStdString());
        const NcDecodedText d = decodeNcText(bytes);
        const qsizetype breaks = bytes.count('\n') + bytes.count('\r') - bytes.count("\r\n");
        ASSERT_EQ(d.text.count(u'\n'), breaks);
        const NcEncodedText e = encodeNcText(d.text, d.format, d.exceptions);
        ASSERT_TRUE(e.ok);
        ASSERT_EQ(e.bytes, bytes);
    }
}

}  // namespace
}  // namespace vantor
