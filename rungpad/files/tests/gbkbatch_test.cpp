// SPDX-License-Identifier: GPL-3.0-or-later
// Comment texts converted in a batch must come out exactly as one conversion per text gives
// them, whatever the texts hold: damaged double bytes, NULs, lone surrogates, characters
// the code page lacks, and all of them mixed in one file.
#include "rungpad/files/gbkbatch.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <random>

using namespace rungpad;

namespace {

QString decodeOne(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    QStringDecoder d("GBK");
    return d.decode(bytes);
}

QByteArray encodeOne(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringEncoder e("GBK");
    return e.encode(text);
}

}  // namespace

TEST(GbkBatch, DecodedTextsAreWhatEachAloneDecodesTo)
{
    std::vector<QByteArray> texts = {
        "", "plain ascii", QStringEncoder("GBK").encode(QStringLiteral("第12行 信号")),
        QByteArray("\xB5\xDA"), QByteArray("\xB5"), QByteArray("ab\xB5"), QByteArray("\x80\x41"),
        QByteArray("\xFF\xFE"), QByteArray("\xB5\x7F"), QByteArray("a\0b", 3), QByteArray("\xB5\x30x"),
        QByteArray("\x81\x40\xFE\xFE"), QByteArray("\xA1\xA1"),
    };
    std::mt19937 random(3);
    for (int n = 0; n < 400; ++n) {
        QByteArray t(qsizetype(random() % 12), '\0');
        for (char& c : t)
            c = char(random() % 3 == 0 ? 0x20 + random() % 0x60 : 0x80 + random() % 0x80);
        texts.push_back(t);
    }
    std::vector<QByteArrayView> views(texts.begin(), texts.end());
    const std::vector<QString> batch = decodeGbkTexts(views);
    ASSERT_EQ(batch.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(batch[i], decodeOne(texts[i])) << i << " " << texts[i].toHex().constData();
}

TEST(GbkBatch, EncodedTextsAreWhatEachAloneEncodesTo)
{
    std::vector<QString> texts = {
        QString(), QStringLiteral("plain"), QStringLiteral("第12行 信号"), QStringLiteral("€ and ™"),
        QString(QChar(0xD800)), QStringLiteral("a") + QChar(0xDC00), QString(QChar(0)) + QStringLiteral("x"),
        QStringLiteral("😀 emoji"), QStringLiteral("ひらがな"), QStringLiteral("한글"), QStringLiteral("Ω≈ç√"),
    };
    std::mt19937 random(4);
    for (int n = 0; n < 400; ++n) {
        QString t;
        for (int k = int(random() % 8); k > 0; --k)
            t.append(QChar(char16_t(random() % 4 == 0 ? 0x20 + random() % 0x60 : 0x80 + random() % 0xFF00)));
        texts.push_back(t);
    }
    std::vector<const QString*> pointers;
    for (const QString& t : texts)
        pointers.push_back(&t);
    const std::vector<QByteArray> batch = encodeGbkTexts(pointers);
    ASSERT_EQ(batch.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(batch[i], encodeOne(texts[i])) << i;
}
