// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The docked table of a running ladder: any address (bit, byte or word) can be typed in and
// pinned to the watch list; a value typed into the table is written into the memory. Below
// it, the steps of the last ladder test file run from the window, the first failing one
// selected.
#include "rungpad/sim/laddertest.h"

#include <QDockWidget>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace rungpad::ui {

class SimulationSession;

class WatchDock : public QDockWidget {
    Q_OBJECT
public:
    explicit WatchDock(QWidget* parent = nullptr);

    void setSession(SimulationSession* session);
    void setLanguage(int language);
    // Pins an address; false (and nothing added) when it is not one.
    bool addWatch(const QString& address);
    void removeWatch(int row);
    // Writes the value into the memory, as typing it into the table does.
    bool setValue(int row, const QString& text);
    void refresh();
    void showTestResult(const std::vector<sim::TestStep>& steps, const sim::TestResult& result);

    QTableWidget* table() const { return m_table; }
    QListWidget* steps() const { return m_steps; }
    QLineEdit* addressEdit() const { return m_address; }

Q_SIGNALS:
    void exportRequested();
    void runTestRequested();
    void message(const QString& text);

private:
    void valueEdited(QTableWidgetItem* item);
    void syncSession();

    SimulationSession* m_session = nullptr;
    int m_language = 0;
    std::vector<sim::SignalName> m_names;
    QLineEdit* m_address;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_export;
    QPushButton* m_runTest;
    QTableWidget* m_table;
    QListWidget* m_steps;
};

}  // namespace rungpad::ui
