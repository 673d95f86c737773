// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/gbkbatch.h"

#include "common/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace rungpad {

namespace {

// One converter each way for a whole file (the shared helpers set one up per call).
class GbkCodec {
public:
    QString decode(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return {};
        if (!decoder_.isValid())
            return vantor::fromGbk(bytes);
        decoder_.resetState();
        return decoder_.decode(bytes);
    }
    QByteArray encode(const QString& text)
    {
        if (text.isEmpty())
            return {};
        if (!encoder_.isValid())
            return vantor::toGbk(text);
        encoder_.resetState();
        return encoder_.encode(text);
    }

private:
    QStringDecoder decoder_{"GBK"};
    QStringEncoder encoder_{"GBK"};
};

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool isAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Only single bytes other than NUL and complete double-byte pairs: such a text decodes the
// same wherever it stands, so texts joined by NUL decode into the same texts joined by NUL.
bool joinableGbk(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0)
            return false;
        if (b < 0x80)
            continue;
        if (b == 0x80 || b == 0xFF || i + 1 >= bytes.size())
            return false;
        const auto t = static_cast<unsigned char>(bytes[++i]);
        if (t < 0x40 || t == 0x7F || t == 0xFF)
            return false;
    }
    return true;
}

// No NUL and no surrogate: every character encodes on its own.
bool joinableText(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() == 0 || c.isSurrogate())
            return false;
    return true;
}

}  // namespace

// Batches stay small enough to be served from the heap already in use (a big buffer is
// fresh pages, and faulting them in costs more than the conversion).
constexpr qsizetype kBatchBytes = 16 * 1024;

std::vector<QString> decodeGbkTexts(const std::vector<QByteArrayView>& texts)
{
    GbkCodec gbk;
    std::vector<QString> out(texts.size());
    std::vector<size_t> joined;
    QByteArray batch;
    batch.reserve(kBatchBytes + 512);
    auto flush = [&] {
        if (joined.empty())
            return;
        const QString all = gbk.decode(batch);
        size_t k = 0;
        qsizetype from = 0;
        for (qsizetype nul; k < joined.size() && (nul = all.indexOf(QChar(0), from)) >= 0; from = nul + 1)
            out[joined[k++]] = all.mid(from, nul - from);
        if (k != joined.size() || from != all.size()) {
            for (size_t j : joined)
                out[j] = gbk.decode(texts[j]);
        }
        joined.clear();
        batch.clear();
    };
    for (size_t i = 0; i < texts.size(); ++i) {
        const QByteArrayView t = texts[i];
        if (t.isEmpty())
            continue;
        if (isAscii(t)) {
            out[i] = QString::fromLatin1(t);
        } else if (joinableGbk(t)) {
            batch.append(t);
            batch.append('\0');
            joined.push_back(i);
            if (batch.size() >= kBatchBytes)
                flush();
        } else {
            out[i] = gbk.decode(t);
        }
    }
    flush();
    return out;
}

std::vector<QByteArray> encodeGbkTexts(const std::vector<const QString*>& texts)
{
    GbkCodec gbk;
    std::vector<QByteArray> out(texts.size());
    std::vector<size_t> joined;
    QString batch;
    batch.reserve(kBatchBytes / 2 + 256);
    auto flush = [&] {
        if (joined.empty())
            return;
        const QByteArray all = gbk.encode(batch);
        size_t k = 0;
        qsizetype from = 0;
        for (qsizetype nul; k < joined.size() && (nul = all.indexOf('\0', from)) >= 0; from = nul + 1)
            out[joined[k++]] = all.mid(from, nul - from);
        if (k != joined.size() || from != all.size()) {
            for (size_t j : joined)
                out[j] = gbk.encode(*texts[j]);
        }
        joined.clear();
        batch.clear();
    };
    for (size_t i = 0; i < texts.size(); ++i) {
        const QString& t = *texts[i];
        if (t.isEmpty())
            continue;
        if (isAscii(t)) {
            out[i] = t.toLatin1();
        } else if (joinableText(t)) {
            batch.append(t);
            batch.append(QChar(0));
            joined.push_back(i);
            if (batch.size() >= kBatchBytes / 2)
                flush();
        } else {
            out[i] = gbk.encode(t);
        }
    }
    flush();
    return out;
}

}  // namespace rungpad
