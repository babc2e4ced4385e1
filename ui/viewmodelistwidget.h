#pragma once

#include <QWidget>

class QPushButton;
class QLabel;

// The popup list of the grid-mode chooser: "1Window", "4Windows", "9Windows".
class ViewModeListWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ViewModeListWidget(QWidget* parent = nullptr);

    void setCurrentIndex(int index);
    int currentIndex() const { return m_current; }
    QPushButton* entry(int index) const;

    // The caption of entry index (translated).
    static QString caption(int index);

signals:
    void onHide();
    void entryChosen(int index);

protected:
    void hideEvent(QHideEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void retranslate();

    QPushButton* m_entries[3];
    QLabel* m_texts[3];
    int m_current = -1;
};
