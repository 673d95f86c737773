#pragma once
// Small file and program helpers the test binaries share.
#include <QByteArray>
#include <QString>
#include <QStringList>

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

// The file's bytes, or "<missing>" so a comparison failure says what happened.
QByteArray readFile(const QString& path);
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
