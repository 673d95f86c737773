// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/outputwindows.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QTextBlock>

namespace rungpad::ui {

QFont fixedPitchFont()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setFamilies({QStringLiteral("Fixedsys"), QStringLiteral("WenQuanYi Micro Hei Mono"), QStringLiteral("DejaVu Sans Mono"),
                   QStringLiteral("Monospace")});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    return f;
}

COutputWindow::COutputWindow(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setFont(fixedPitchFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void COutputWindow::outputLine(const QString& text)
{
    Q_EMIT wantsShowing();
    moveCursor(QTextCursor::End);
    appendPlainText(text);
}

QStringList COutputWindow::lines() const
{
    const QString all = toPlainText();
    return all.isEmpty() ? QStringList() : all.split(QLatin1Char('\n'));
}

void COutputWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QTextCursor at = cursorForPosition(event->position().toPoint());
    Q_EMIT lineDoubleClicked(at.block().text());
    QPlainTextEdit::mouseDoubleClickEvent(event);
}

}  // namespace rungpad::ui
