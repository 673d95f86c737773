#include "rungpad/ui/rungpaddialogs.h"

#include "rungpad/ui/uitexts.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace rungpad::ui {

QString qtFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i];
        const qsizetype paren = text.indexOf(QLatin1Char('('));
        if (paren >= 0)
            text = text.left(paren).trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(text, patterns);
    }
    return out.join(QStringLiteral(";;"));
}

QString WidgetDialogs::openFileName(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), qtFileFilter(filter));
}

QString WidgetDialogs::saveFileName(QWidget* parent, const QString& title, const QString& proposed,
                                    const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, title, proposed, qtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

bool WidgetDialogs::editLadderInfo(QWidget* parent, LadderInfo& info, int language)
{
    CLadderInfoDlg dialog(info, language, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    info = dialog.info();
    return true;
}

bool WidgetDialogs::pageSetup(QWidget* parent, QPrinter& printer)
{
    QPageSetupDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool WidgetDialogs::choosePrinter(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

CLadderInfoDlg::CLadderInfoDlg(const LadderInfo& info, int language, QWidget* parent)
    : QDialog(parent), m_info(info), m_version(new QLineEdit(info.version.left(kVersionMax), this)),
      m_machine(new QLineEdit(info.machine.left(kMachineMax), this)),
      m_modifier(new QLineEdit(info.modifier.left(kModifierMax), this))
{
    setWindowTitle(uiText(UiText::InfoTitle, language));
    m_version->setMaxLength(kVersionMax);
    m_machine->setMaxLength(kMachineMax);
    m_modifier->setMaxLength(kModifierMax);
    m_machine->setMinimumWidth(320);
    auto* form = new QFormLayout(this);
    form->addRow(uiText(UiText::InfoVersion, language), m_version);
    form->addRow(uiText(UiText::InfoMachine, language), m_machine);
    form->addRow(uiText(UiText::InfoModifier, language), m_modifier);
    form->addRow(uiText(UiText::InfoSaveTime, language), new QLabel(info.saveTime, this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

LadderInfo CLadderInfoDlg::info() const
{
    LadderInfo out = m_info;
    out.version = m_version->text().left(kVersionMax);
    out.machine = m_machine->text().left(kMachineMax);
    out.modifier = m_modifier->text().left(kModifierMax);
    return out;
}

}  // namespace rungpad::ui
