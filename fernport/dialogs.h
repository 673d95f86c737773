// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernport's small windows: port setup, the XON/XOFF DNC statistics, find/replace.
#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QCheckBox;
class QPushButton;

namespace vantor {
class NcEditor;
}

namespace vantor::fernport {

struct PortChoice {
    QString name;
    int baud = 38400;
};

// "Setup Dialog": the platform's ports plus whatever the user types (a pty path works).
class CCommSetupDlg : public QDialog {
    Q_OBJECT
public:
    CCommSetupDlg(const QString& currentPort, int currentBaud, QWidget* parent = nullptr);
    PortChoice choice() const;
    static const QList<int>& baudRates();

private:
    QComboBox* port_;
    QComboBox* baud_;
};

// "DNC Communication": statistics of an XON/XOFF run and its Cancel button.
class CDNCDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDNCDlg(const QString& path, QWidget* parent = nullptr);
    void show(std::uint64_t bytes, int lines, const QString& time, std::uint64_t perSecond);

    QString sentBytesText() const;
    QString sentLinesText() const;
    QString sentTimeText() const;
    QString bytesPerSecText() const;

    // The run is over: the window may go (its own close button only asks to cancel).
    void closeForGood();
    // The run was cut off: the window stays with its figures, says why and where the
    // program can start again, and its button only closes it.
    void showInterrupted(const QString& why, qint64 lastLine, qint64 restartLine);
    bool interrupted() const { return ended_; }
    QString statusText() const;
    QString lastLineText() const;
    QString restartLineText() const;

Q_SIGNALS:
    void cancelRequested();

protected:
    void reject() override;
    // Closing the window while the run goes on is Cancel: a run without its window could
    // neither be watched nor stopped, and would keep the program alive with no window.
    void closeEvent(QCloseEvent* event) override;

private:
    bool closing_ = false;
    bool ended_ = false;
    QLabel* status_;
    QLabel* lastLine_;
    QLabel* restartLine_;
    QWidget* endedRows_;
    QPushButton* cancel_;
    QLabel* bytes_;
    QLabel* lines_;
    QLabel* time_;
    QLabel* rate_;
};

// Find and replace over the editor's text.
class FindReplaceDlg : public QDialog {
    Q_OBJECT
public:
    FindReplaceDlg(NcEditor* editor, bool replace, QWidget* parent = nullptr);
    void setReplaceMode(bool replace);
    bool findNext();
    bool hasPattern() const;

private:
    void replaceOne();
    void replaceAll();

    NcEditor* editor_;
    QLineEdit* find_;
    QLineEdit* replace_;
    QLabel* replaceLabel_;
    QCheckBox* matchCase_;
    QWidget* replaceButtons_;
};

}  // namespace vantor::fernport
