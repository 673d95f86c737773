#pragma once
// Small file and program helpers the test binaries share.
#include <QByteArray>
#include <QString>

class QWidget;

namespace vantor::testing {

// A program of ours: $VANTOR_BUILD_DIR/bin/NAME, or the bin folder beside the test's own folder.
QString programPath(const char* name);
// The file's bytes, or "<missing>" so a comparison failure says what happened.
QByteArray readFile(const QString& path);
// Writes the bytes, making the folders on the way; a failure fails the running test.
void writeFile(const QString& path, const QByteArray& data);
// With VANTOR_SCREENSHOT_DIR set, window tests also save what a user would see (docs/).
void maybeShoot(QWidget* widget, const char* fileName);

}  // namespace vantor::testing
