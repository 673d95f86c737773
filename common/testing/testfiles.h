// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small file and program helpers the test binaries share.
#include <QByteArray>
#include <QString>
#include <QProcessEnvironment>
#include <QStringList>

class QProcess;
class QWidget;

namespace vantor::testing {

// A program of ours: $VANTOR_BUILD_DIR/bin/NAME, or the bin folder beside the test's own folder.
QString programPath(const char* name);
struct ProgramResult {
    int status = -1;  // the exit code; -1 when it crashed or had to be killed
    QString out;
    QString err;
};
// Runs one of our programs in workDir to its end; one that outlives timeoutMs is killed.
ProgramResult runProgram(const char* name, const QStringList& args, const QString& workDir, int timeoutMs = 90000);
// The same with the given environment instead of this process's.
ProgramResult runProgram(const char* name, const QStringList& args, const QString& workDir,
                         const QProcessEnvironment& environment, int timeoutMs = 90000);

// Starts one of our programs in the background and gathers the lines of its standard output,
// where a server announces its link and address, until `lines` of them have come (or all that
// arrived within timeoutMs); a program that does not start fails the running test.
QStringList startBackgroundProgram(QProcess& process, const char* name, const QStringList& args, int lines, int timeoutMs = 5000);
// Asks a program started so to end, and kills it when it does not within timeoutMs.
void stopBackgroundProgram(QProcess& process, int timeoutMs = 3000);

// The file's bytes, or "<missing>" so a comparison failure says what happened.
QByteArray readFile(const QString& path);
// Every entry of the folder, hidden ones too (a left temporary file is one), sorted.
QStringList filesIn(const QString& folder);
// Writes the bytes, making the folders on the way; a failure fails the running test.
void writeFile(const QString& path, const QByteArray& data);
// Bytes of every value in a varied order; another seed gives other bytes of the same length.
QByteArray patternBytes(int n, int seed = 0);
// A part program of so many numbered motion lines, each ended by CR LF.
QByteArray ncProgram(int lines);
// The data as an XModem receiver stores it: filled up to whole 128-byte blocks with SUB.
QByteArray paddedToBlock(QByteArray data);
// With VANTOR_SCREENSHOT_DIR set, window tests also save what a user would see (docs/).
void maybeShoot(QWidget* widget, const char* fileName);

}  // namespace vantor::testing
