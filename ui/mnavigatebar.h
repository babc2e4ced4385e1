#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;

// The page selector under the camera grid: previous, first page, "...", a
// window of seven page numbers, "...", last page, next. Pages count from 1.
class MNavigateBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MiddleCount = 7;

    explicit MNavigateBar(QWidget* parent = nullptr);

    void setPageCount(int n);
    void setCurrentPage(int p);
    int pageCount() const { return m_count; }
    int currentPage() const { return m_current; }

    // The shown items in order, page numbers and "...", without the arrows;
    // a checked page is marked with '*' (tests, diagnostics).
    QStringList visibleItems() const;

    QPushButton* previousButton() const { return m_prev; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* firstButton() const { return m_first; }
    QPushButton* lastButton() const { return m_last; }
    QPushButton* middleButton(int k) const { return m_middle[k]; }

signals:
    void onPageNumberChanged(int page_num);

private:
    void goTo(int p);
    QPushButton* makePageButton();

    QPushButton* m_prev;
    QPushButton* m_first;
    QLabel* m_moreLeft;
    QPushButton* m_middle[MiddleCount];
    QLabel* m_moreRight;
    QPushButton* m_last;
    QPushButton* m_next;
    int m_count = -1;
    int m_current = 0;
};
