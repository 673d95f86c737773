// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/rungpaddialogs.h"

#include "rungpad/compiler/instructions.h"
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/uitexts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
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

std::optional<QString> WidgetDialogs::elementText(QWidget* parent, const QString& prompt, const QString& initial,
                                                  bool addressField, int language)
{
    CElementDlg dialog(prompt, initial, addressField, language, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.text();
}

std::optional<QString> WidgetDialogs::functionName(QWidget* parent, int language)
{
    CFunctionDlg dialog(language, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.name();
}

std::optional<int> WidgetDialogs::insertLineCount(QWidget* parent, int language)
{
    bool ok = false;
    // The ladder limit itself is checked by the editor, with its own message.
    const int n = QInputDialog::getInt(parent, uiText(UiText::InsertLineTitle, language),
                                       uiText(UiText::InsertLineCount, language), 1, 1, 99999, 1, &ok);
    if (!ok)
        return std::nullopt;
    return n;
}

std::optional<QString> WidgetDialogs::notationText(QWidget* parent, const QString& address, const QString& current,
                                                   int language)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, uiText(UiText::NotationTitle, language),
                                               uiText(UiText::NotationAddress, language).arg(address),
                                               QLineEdit::Normal, current, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<FindRequest> WidgetDialogs::findRequest(QWidget* parent, const FindRequest& last, bool replace,
                                                      int language)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(uiText(replace ? UiText::ReplaceTitle : UiText::FindTitle, language));
    auto* form = new QFormLayout;
    auto* what = new QLineEdit(last.text, &dialog);
    what->setFont(fixedPitchFont());
    form->addRow(uiText(UiText::FindWhat, language), what);
    QLineEdit* with = nullptr;
    if (replace) {
        with = new QLineEdit(last.replacement, &dialog);
        with->setFont(fixedPitchFont());
        with->setMaxLength(6);
        form->addRow(uiText(UiText::ReplaceWith, language), with);
    }
    auto* up = new QRadioButton(uiText(UiText::DirectionUp, language), &dialog);
    auto* down = new QRadioButton(uiText(UiText::DirectionDown, language), &dialog);
    (last.down ? down : up)->setChecked(true);
    auto* directions = new QHBoxLayout;
    directions->addWidget(up);
    directions->addWidget(down);
    form->addRow(directions);
    auto* buttons = new QDialogButtonBox(&dialog);
    FindRequest request = last;
    auto addButton = [&](UiText text, FindRequest::Action action, bool isDefault) {
        QPushButton* b = buttons->addButton(uiText(text, language), QDialogButtonBox::ActionRole);
        b->setDefault(isDefault);
        QObject::connect(b, &QPushButton::clicked, &dialog, [&, action] {
            request.action = action;
            dialog.accept();
        });
    };
    addButton(UiText::ButtonFindNext, FindRequest::FindNext, true);
    if (replace) {
        addButton(UiText::ButtonReplace, FindRequest::Replace, false);
        addButton(UiText::ButtonReplaceAll, FindRequest::ReplaceAll, false);
    }
    buttons->addButton(QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    what->selectAll();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    request.text = what->text();
    request.replacement = with ? with->text() : QString();
    request.down = down->isChecked();
    return request;
}

std::optional<int> WidgetDialogs::lineNumber(QWidget* parent, int current, int lineCount, int language)
{
    bool ok = false;
    const int n = QInputDialog::getInt(parent, uiText(UiText::GoToLineTitle, language),
                                       uiText(UiText::LineNumber, language).arg(lineCount), current, 1,
                                       std::max(1, lineCount), 1, &ok);
    if (!ok)
        return std::nullopt;
    return n;
}

CElementDlg::CElementDlg(const QString& prompt, const QString& initial, bool addressField, int language,
                         QWidget* parent)
    : QDialog(parent), m_text(new QLineEdit(initial, this)), m_addressField(addressField)
{
    setWindowTitle(uiText(UiText::ElementTitle, language));
    m_text->setMaxLength(kTextMax);
    m_text->setFont(fixedPitchFont());
    m_text->installEventFilter(this);
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(prompt, this));
    form->addRow(m_text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    m_text->setFocus();
    // A letter typed on the ladder opens the dialog with it: typing goes on after it.
    m_keepTyping = initial.size() == 1;
    if (!m_keepTyping)
        m_text->selectAll();
}

void CElementDlg::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    // Showing focuses the field as if tabbed into, which selects all: the letter typed on
    // the ladder would be overwritten by the next key.
    if (visible && m_keepTyping) {
        m_text->deselect();
        m_text->end(false);
    }
}

QString CElementDlg::text() const
{
    return m_text->text();
}

bool CElementDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text && event->type() == QEvent::FocusOut && m_addressField)
        m_text->setText(QString::fromLatin1(normaliseAddressField(m_text->text().toLatin1())));
    return QDialog::eventFilter(watched, event);
}

CFunctionDlg::CFunctionDlg(int language, QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_name(new QLineEdit(this))
{
    setWindowTitle(uiText(UiText::FunctionTitle, language));
    for (const FunctionInstruction& f : kFunctionInstructions)
        m_list->addItem(QString::fromLatin1(f.name));
    m_name->setFont(fixedPitchFont());
    connect(m_list, &QListWidget::currentTextChanged, m_name, &QLineEdit::setText);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(uiText(UiText::FunctionHint, language), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto* row = new QHBoxLayout;
    row->addWidget(m_list);
    row->addWidget(m_name, 0, Qt::AlignTop);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_name->setFocus();
}

QString CFunctionDlg::name() const
{
    return m_name->text().trimmed().toUpper();
}

}  // namespace rungpad::ui
