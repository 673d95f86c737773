// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/watchdock.h"

#include "rungpad/ui/simulationsession.h"
#include "rungpad/ui/simulationtexts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace rungpad::ui {

WatchDock::WatchDock(QWidget* parent)
    : QDockWidget(parent), m_address(new QLineEdit), m_add(new QPushButton), m_remove(new QPushButton),
      m_export(new QPushButton), m_runTest(new QPushButton), m_table(new QTableWidget(0, 2)), m_steps(new QListWidget)
{
    setObjectName(QStringLiteral("watchDock"));
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    auto* entry = new QHBoxLayout;
    entry->addWidget(m_address, 1);
    entry->addWidget(m_add);
    entry->addWidget(m_remove);
    layout->addLayout(entry);
    layout->addWidget(m_table, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_export);
    buttons->addWidget(m_runTest);
    layout->addLayout(buttons);
    layout->addWidget(m_steps, 1);
    setWidget(body);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(m_add, &QPushButton::clicked, this, [this] {
        if (addWatch(m_address->text()))
            m_address->clear();
    });
    connect(m_address, &QLineEdit::returnPressed, m_add, &QPushButton::click);
    connect(m_remove, &QPushButton::clicked, this, [this] { removeWatch(m_table->currentRow()); });
    connect(m_export, &QPushButton::clicked, this, &WatchDock::exportRequested);
    connect(m_runTest, &QPushButton::clicked, this, &WatchDock::runTestRequested);
    connect(m_table, &QTableWidget::itemChanged, this, &WatchDock::valueEdited);
    setLanguage(0);
}

void WatchDock::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(simText(SimText::WatchTitle, language));
    m_add->setText(simText(SimText::WatchAdd, language));
    m_remove->setText(simText(SimText::WatchRemove, language));
    m_export->setText(simText(SimText::WatchExport, language));
    m_runTest->setText(simText(SimText::WatchRunTest, language));
    m_table->setHorizontalHeaderLabels({simText(SimText::WatchAddress, language), simText(SimText::WatchValue, language)});
}

void WatchDock::setSession(SimulationSession* session)
{
    m_session = session;
    syncSession();
    refresh();
}

void WatchDock::syncSession()
{
    if (m_session)
        m_session->setWatched(m_names);
}

bool WatchDock::addWatch(const QString& address)
{
    const auto name = sim::parseSignalName(address);
    if (!name) {
        Q_EMIT message(simText(SimText::BadAddress, m_language).arg(address));
        return false;
    }
    m_names.push_back(*name);
    const QSignalBlocker block(m_table);
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    auto* label = new QTableWidgetItem(name->text.toUpper());
    label->setFlags(label->flags() & ~Qt::ItemIsEditable);
    m_table->setItem(row, 0, label);
    m_table->setItem(row, 1, new QTableWidgetItem);
    syncSession();
    refresh();
    return true;
}

void WatchDock::removeWatch(int row)
{
    if (row < 0 || row >= int(m_names.size()))
        return;
    m_names.erase(m_names.begin() + row);
    m_table->removeRow(row);
    syncSession();
}

bool WatchDock::setValue(int row, const QString& text)
{
    if (!m_session || row < 0 || row >= int(m_names.size()))
        return false;
    bool ok = false;
    const uint v = text.trimmed().toUInt(&ok, 0);
    if (!ok)
        return false;
    m_session->write(m_names[size_t(row)], v);
    return true;
}

void WatchDock::valueEdited(QTableWidgetItem* item)
{
    if (item->column() == 1 && !setValue(item->row(), item->text()))
        refresh();
}

void WatchDock::refresh()
{
    const QSignalBlocker block(m_table);
    for (int row = 0; row < int(m_names.size()); ++row) {
        QTableWidgetItem* item = m_table->item(row, 1);
        // The cell being typed into keeps what the user types.
        QWidget* focus = QApplication::focusWidget();
        const bool typing = focus && focus != m_table && m_table->isAncestorOf(focus) && m_table->currentItem() == item;
        if (!item || typing)
            continue;
        const QString text = m_session ? QString::number(m_names[size_t(row)].read(m_session->engine().memory())) : QString();
        if (item->text() != text)
            item->setText(text);
    }
}

void WatchDock::showTestResult(const std::vector<sim::TestStep>& steps, const sim::TestResult& result)
{
    m_steps->clear();
    int firstFailure = -1;
    for (const sim::TestStep& s : steps) {
        auto* item = new QListWidgetItem(QStringLiteral("%1  %2").arg(s.line, 4).arg(s.text), m_steps);
        item->setData(Qt::UserRole, s.line);
        for (const sim::StepFailure& f : result.failures) {
            if (f.line != s.line)
                continue;
            item->setText(simText(SimText::TestStep, m_language).arg(f.line).arg(f.step, f.expected, f.actual));
            item->setForeground(Qt::red);
            if (firstFailure < 0)
                firstFailure = m_steps->count() - 1;
        }
    }
    if (firstFailure >= 0) {
        m_steps->setCurrentRow(firstFailure);
        m_steps->scrollToItem(m_steps->item(firstFailure));
    }
}

}  // namespace rungpad::ui
