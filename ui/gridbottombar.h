#pragma once

#include <QWidget>

class MNavigateBar;
class QPushButton;
class ViewModeWidget;

// The bar under the camera grid (`bottom_bar_`, 48 high): the grid-mode
// chooser (`page_mode_cbx_`), "Play all" (`play_all_btn_`) and, at the
// right, the page selector (MNavigateBar). It passes the user's choices on;
// the owner answers with the modes and pages to show.
class GridBottomBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Height = 48;

    // pageMode: the grid mode shown at first (0: none chosen yet).
    GridBottomBar(int pageMode, QWidget* parent);

    // Shows grid mode 1, 2 or 3 in the chooser, silently.
    void showGridMode(int pageMode);
    // Chooses as the user does (index 0, 1, 2 for 1, 4, 9): gridModeChosen follows.
    void chooseGridMode(int index);
    // The page selector: page count and current page (1-based).
    void showPages(int count, int current);
    void showCurrentPage(int current);

    MNavigateBar* navigateBar() const { return m_nav; }
    ViewModeWidget* viewModeWidget() const { return m_viewMode; }
    QPushButton* playAllButton() const { return m_playAll; }

signals:
    void gridModeChosen(int index);
    void playAllClicked();
    // The user moved to this page (1-based).
    void pageChosen(int page);

private:
    ViewModeWidget* m_viewMode;
    QPushButton* m_playAll;
    MNavigateBar* m_nav;
};
