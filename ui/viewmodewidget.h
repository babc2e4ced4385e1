#pragma once

#include <QPushButton>

class QLabel;
class ViewModeListWidget;

// The grid-mode chooser of the bottom bar: shows the current mode and opens a
// ViewModeListWidget above itself. Choosing entry i emits
// currentIndexChanged(i), i = 0, 1, 2 for 1, 4 and 9 tiles.
class ViewModeWidget : public QPushButton
{
    Q_OBJECT
public:
    explicit ViewModeWidget(QWidget* parent = nullptr);

    int currentIndex() const { return m_current; }
    // Selects without announcing (the main window restores a stored mode).
    void setCurrentIndex(int index);

    ViewModeListWidget* listWidget() const { return m_list; }

public slots:
    void showList();
    // As if the user chose entry index.
    void choose(int index);

signals:
    void currentIndexChanged(int index);

protected:
    void changeEvent(QEvent* e) override;

private:
    void updateLook();

    QLabel* m_icon;
    QLabel* m_text;
    QLabel* m_arrow;
    ViewModeListWidget* m_list;
    int m_current = -1;
};
