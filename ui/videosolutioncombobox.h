#pragma once

#include <QPushButton>

class QFrame;

// The tile's quality chooser: a button that opens the list "Auto", "SD", "HD"
// (index 0, 1, 2). beforePopup() and afterPopup() surround the shown list;
// currentQualityChanged(q) reports a newly chosen quality.
class VideoSolutionCombobox : public QPushButton
{
    Q_OBJECT
public:
    explicit VideoSolutionCombobox(QWidget* parent = nullptr);
    ~VideoSolutionCombobox() override;

    int currentQuality() const { return m_current; }
    // Preselects without announcing (the stored quality).
    void setCurrentQuality(int q);

    QWidget* popupList() const;
    QPushButton* item(int q) const;

    static QString qualityName(int q);

public slots:
    void showPopup();
    void hidePopup();
    // As if the user chose q from the list.
    void choose(int q);

signals:
    void beforePopup();
    void afterPopup();
    void currentQualityChanged(int q);

protected:
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    void retranslate();

    QFrame* m_popup;
    QPushButton* m_items[3];
    int m_current = 2;
};
