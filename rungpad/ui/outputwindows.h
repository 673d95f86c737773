// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text panes of the three docking windows: the output window every command reports to,
// the instruction list of the last conversion, the notation (comment) display.
#include "rungpad/files/laddercommands.h"

#include <QPlainTextEdit>

namespace rungpad::ui {

// The older editor used "Fixedsys"; any installed fixed-pitch font stands in for it.
QFont fixedPitchFont();

class COutputWindow : public QPlainTextEdit, public OutputSink {
    Q_OBJECT
public:
    explicit COutputWindow(QWidget* parent = nullptr);
    // Shows the dock if hidden (through the signal), appends the line at the end.
    void outputLine(const QString& text) override;
    void clearOutput() { clear(); }
    QStringList lines() const;

Q_SIGNALS:
    void wantsShowing();
    void lineDoubleClicked(const QString& text);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace rungpad::ui
