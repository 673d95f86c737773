// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The navigation bar on the left of the main window: one big icon and a label per page on a
// blue ground. Releasing the mouse on an item asks for its page.
#include <QListWidget>

namespace vantor::fernlink::ui {

class COutlookBar : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kIconSize = 32;
    static constexpr int kIconTop = 15;  // the icon's distance from the item's top

    explicit COutlookBar(QWidget* parent = nullptr);

    // An item that asks for `page` when chosen.
    void addPageItem(const QIcon& icon, const QString& text, int page);
    int pageOf(int row) const;
    int rowOf(int page) const;
    // Marks the item of `page` without asking for it (the page changed by other means).
    void showPage(int page);
    bool pressed() const { return pressed_; }

    QSize sizeHint() const override { return {140, 400}; }

Q_SIGNALS:
    void pageRequested(int page);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool pressed_ = false;
};

// The icons the bar and the status bar show, drawn here rather than loaded from files.
QIcon outlookIcon(int page);
// 16x16 link state lamps; id 162 (on), 163 (idle) and 164 (off), as the status bar pairs them.
QIcon stateIcon(int id);

}  // namespace vantor::fernlink::ui
