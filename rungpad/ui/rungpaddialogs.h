// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file choosers and dialogs the frame's commands open, behind one interface so the
// commands run in tests with scripted answers (message boxes go through vantor::Prompter).
#include "rungpad/model/ladderdocument.h"

#include <QDialog>
#include <QString>

#include <optional>

class QLineEdit;
class QListWidget;
class QPrinter;
class QWidget;

namespace rungpad::ui {

// One button press in the find or replace dialog.
struct FindRequest {
    enum Action { FindNext, Replace, ReplaceAll };
    QString text;
    QString replacement;
    bool down = true;
    Action action = FindNext;
};

class RungpadDialogs {
public:
    virtual ~RungpadDialogs() = default;
    // filter in the older editor's form "text|pattern|...||"; empty result: cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& proposed,
                                 const QString& filter, const QString& defaultSuffix) = 0;
    // The ladder information dialog; false when cancelled.
    virtual bool editLadderInfo(QWidget* parent, LadderInfo& info, int language) = 0;
    virtual bool pageSetup(QWidget* parent, QPrinter& printer) = 0;
    virtual bool choosePrinter(QWidget* parent, QPrinter& printer) = 0;

    // Editing dialogs; nullopt when cancelled.
    // "元件设置": the kind or parameter prompt and the cell text (7 characters at most);
    // an address field is normalised when it loses the focus.
    virtual std::optional<QString> elementText(QWidget* parent, const QString& prompt, const QString& initial,
                                               bool addressField, int language) = 0;
    // The function instruction dialog: the name chosen or typed.
    virtual std::optional<QString> functionName(QWidget* parent, int language) = 0;
    virtual std::optional<int> insertLineCount(QWidget* parent, int language) = 0;
    virtual std::optional<QString> notationText(QWidget* parent, const QString& address, const QString& current,
                                                int language) = 0;
    // The find (replace false) or replace dialog, one button press per call; nullopt when
    // the user closes it. `last` fills the fields.
    virtual std::optional<FindRequest> findRequest(QWidget* parent, const FindRequest& last, bool replace,
                                                   int language) = 0;
    // Go to line: a 1-based line number.
    virtual std::optional<int> lineNumber(QWidget* parent, int current, int lineCount, int language) = 0;
};

// "PLC Lad file (*.plf;*.grp)|*.plf;*.grp|...||" as a Qt filter "PLC Lad file (*.plf *.grp);;...".
QString qtFileFilter(const QString& filter);

class WidgetDialogs : public RungpadDialogs {
public:
    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& proposed, const QString& filter,
                         const QString& defaultSuffix) override;
    bool editLadderInfo(QWidget* parent, LadderInfo& info, int language) override;
    bool pageSetup(QWidget* parent, QPrinter& printer) override;
    bool choosePrinter(QWidget* parent, QPrinter& printer) override;
    std::optional<QString> elementText(QWidget* parent, const QString& prompt, const QString& initial,
                                       bool addressField, int language) override;
    std::optional<QString> functionName(QWidget* parent, int language) override;
    std::optional<int> insertLineCount(QWidget* parent, int language) override;
    std::optional<QString> notationText(QWidget* parent, const QString& address, const QString& current,
                                        int language) override;
    std::optional<FindRequest> findRequest(QWidget* parent, const FindRequest& last, bool replace,
                                           int language) override;
    std::optional<int> lineNumber(QWidget* parent, int current, int lineCount, int language) override;
};

// "元件设置": what the cell is (kind or parameter prompt) and its text. In an address
// field, x5.3 becomes X005.3 as soon as the field loses the focus.
class CElementDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTextMax = 7;
    CElementDlg(const QString& prompt, const QString& initial, bool addressField, int language,
                QWidget* parent = nullptr);
    QString text() const;
    QLineEdit* textEdit() const { return m_text; }
    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_text;
    bool m_addressField;
    bool m_keepTyping = false;
};

// The function instruction dialog: the 39 names on the left, an edit field on the right.
class CFunctionDlg : public QDialog {
    Q_OBJECT
public:
    CFunctionDlg(int language, QWidget* parent = nullptr);
    QString name() const;
    QListWidget* list() const { return m_list; }
    QLineEdit* nameEdit() const { return m_name; }

private:
    QListWidget* m_list;
    QLineEdit* m_name;
};

// "梯形图信息": version, applicable machine and last modifier, cut to what the file holds.
class CLadderInfoDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kVersionMax = 15;
    static constexpr int kMachineMax = 40;
    static constexpr int kModifierMax = 20;

    CLadderInfoDlg(const LadderInfo& info, int language, QWidget* parent = nullptr);
    LadderInfo info() const;
    QLineEdit* versionEdit() const { return m_version; }
    QLineEdit* machineEdit() const { return m_machine; }
    QLineEdit* modifierEdit() const { return m_modifier; }

private:
    LadderInfo m_info;
    QLineEdit* m_version;
    QLineEdit* m_machine;
    QLineEdit* m_modifier;
};

}  // namespace rungpad::ui
