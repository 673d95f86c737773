// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/addfilesdialog.h"

#include "common/gbk.h"

#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

AddFilesDialog::AddFilesDialog(LinkHub& hub, TargetArea area, QWidget* parent)
    : QFileDialog(parent), hub_(hub)
{
    // The extra panel needs the dialog's own widgets, not the platform's.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFiles);
    setNameFilters({QStringLiteral("Text Files (*.txt)"), QStringLiteral("CNC Files (*.cnc)"), QStringLiteral("CNC Files (*.nc)"),
                    QStringLiteral("All Files (*)")});

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    preview_ = new QPlainTextEdit(panel);
    preview_->setReadOnly(true);
    preview_->setMinimumWidth(220);
    auto* areas = new QGroupBox(panel);
    auto* areaColumn = new QVBoxLayout(areas);
    user_ = new QRadioButton(hub.text(Msg::AreaUser), areas);
    sys_ = new QRadioButton(hub.text(Msg::AreaSys), areas);
    usb_ = new QRadioButton(hub.text(Msg::AreaUsb), areas);
    for (QRadioButton* b : {user_, sys_, usb_})
        areaColumn->addWidget(b);
    (area == TargetArea::Sys ? sys_ : area == TargetArea::Usb ? usb_ : user_)->setChecked(true);
    column->addWidget(preview_, 1);
    column->addWidget(areas);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);

    showPreviewOf({});
    // Whichever view the dialog shows, its selection is what selectedFiles() reports while open.
    connect(this, &QFileDialog::currentChanged, this, [this] { showPreviewOf(selectedFiles()); });
    // A click, a typed name or a programmatic selection all end in the name field.
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(name, &QLineEdit::textChanged, this, [this] { showPreviewOf(selectedFiles()); });
}

TargetArea AddFilesDialog::area() const
{
    if (sys_->isChecked())
        return TargetArea::Sys;
    if (usb_->isChecked())
        return TargetArea::Usb;
    return TargetArea::User;
}

QString AddFilesDialog::previewText() const
{
    return preview_->toPlainText();
}

void AddFilesDialog::showPreviewOf(const QStringList& selected)
{
    preview_->setPlainText(preview(hub_, selected));
}

QString AddFilesDialog::preview(LinkHub& hub, const QStringList& selected)
{
    QStringList files;
    for (const QString& path : selected)
        if (QFileInfo(path).isFile())
            files << path;
    if (files.isEmpty())
        return hub.text(Msg::PreviewNoFile);
    if (files.size() > 1)
        return hub.text(Msg::PreviewMultipleFiles);
    QFile file(files.first());
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const QByteArray head = file.read(kPreviewBytes);
    QString text = vantor::fromGbk(head);
    if (head.size() >= kPreviewBytes)
        text += QStringLiteral("...");
    return text;
}

}  // namespace vantor::fernlink::ui
