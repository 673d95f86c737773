// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The send page's Add dialog: several files at once, a preview of the one selected and the
// area of the controller the files go to.
#include "fernlink/link/transferrows.h"
#include "fernlink/ui/linkhub.h"

#include <QFileDialog>

class QPlainTextEdit;
class QRadioButton;

namespace vantor::fernlink::ui {

class AddFilesDialog : public QFileDialog {
    Q_OBJECT
public:
    AddFilesDialog(LinkHub& hub, TargetArea area, QWidget* parent = nullptr);

    TargetArea area() const;
    QString previewText() const;
    void showPreviewOf(const QStringList& selected);

    // What the preview shows for the files selected: the first 500 bytes of one file
    // (followed by "..." when it holds at least that many), or a note for none or several.
    static QString preview(LinkHub& hub, const QStringList& selected);
    static constexpr qint64 kPreviewBytes = 500;

private:
    LinkHub& hub_;
    QPlainTextEdit* preview_;
    QRadioButton* user_;
    QRadioButton* sys_;
    QRadioButton* usb_;
};

}  // namespace vantor::fernlink::ui
