// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names for open documents that tell files of the same name apart.
#include <QStringList>

namespace rungpad::ui {

// For each path (empty: untitled, left empty), its file name, or as many trailing folders
// with it as it takes to differ from every other path of the same file name:
// {"/a/line1/press.plf", "/b/line2/press.plf"} -> {"line1/press.plf", "line2/press.plf"}.
// Separators are the platform's.
QStringList distinctDocumentNames(const QStringList& paths);

}  // namespace rungpad::ui
