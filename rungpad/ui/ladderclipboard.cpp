// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/ladderclipboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

namespace rungpad::ui {

const char* const LadderClipboard::kMimeType = "application/x-rungpad-cells";

void LadderClipboard::copied(const CellClip& clip)
{
    m_clip = clip;
    // Process and copy number: a copy made by another Rungpad, or an earlier one here,
    // never matches.
    m_token = QByteArray::number(QCoreApplication::applicationPid()) + ':' + QByteArray::number(++m_serial);
    auto* data = new QMimeData;
    data->setData(QLatin1String(kMimeType), m_token);
    const QString text = clipToText(clip);
    if (!text.isEmpty())
        data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data);
}

std::optional<CellClip> LadderClipboard::pasteSource() const
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return std::nullopt;
    if (!m_token.isEmpty() && data->hasFormat(QLatin1String(kMimeType)) && data->data(QLatin1String(kMimeType)) == m_token)
        return m_clip;
    if (data->hasText())
        return clipFromText(data->text());
    return std::nullopt;
}

}  // namespace rungpad::ui
