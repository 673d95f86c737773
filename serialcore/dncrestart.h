// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a DNC stream starts again after it was cut: the line of a byte offset, the line of an
// N block number, and the safe header that goes before a restart so the controller's modes
// (units, plane, tool, offsets, spindle) are what the program set up before its first motion.
// Plain text logic on the program's bytes; both programs' DNC flows use it.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace vantor::dnc {

// A line longer than this counts as several, as the DNC reader has always read them.
constexpr qsizetype kLineLimit = 1023;

// The 1-based line that holds byte `offset` of the program (a line that was not acknowledged
// whole is the one to start again from). An offset at or past the end gives the last line.
qint64 lineAtOffset(QByteArrayView program, qint64 offset);

// The byte offset where 1-based `line` starts (the same line rule).
qint64 offsetOfLine(QByteArrayView program, qint64 line);

// What the user typed as a start point: a line number ("120") or a block number ("N120",
// "n120"). Nullopt when it is neither.
struct StartPoint {
    qint64 line = 0;       // a line number, or 0
    qint64 block = -1;     // an N block number, or -1
};
std::optional<StartPoint> parseStartPoint(const QString& text);

// The first line that is the N block `number` (leading blanks and a block-delete slash are
// allowed before the N; N0120 and N120 are the same block). Nullopt when there is none.
std::optional<qint64> lineOfBlock(QByteArrayView program, qint64 number);

enum class HeaderMode { None, ProgramStart, Custom };

// The program's lines before its first motion (G0/G1/G2/G3, or an axis word on a line of
// its own), without the program number line's '%' and without a program end. Those are
// the lines that set the modes a restart in the middle would otherwise miss.
QByteArray programStartHeader(QByteArrayView program);

// The header to send before restarting at `line` (nothing when the stream starts at line 1).
// A custom header gets the program's line end when it lacks one.
QByteArray restartHeader(QByteArrayView program, qint64 line, HeaderMode mode, const QByteArray& custom);

}  // namespace vantor::dnc
