#pragma once

#include <QDate>
#include <QVector>
#include <QWidget>

class QButtonGroup;
class QMouseEvent;
class VuDateButton;

// The strip of recording days of the playback timeline: one checkable button
// per day (" MM/dd ") and a "Live" button, scrollable sideways by dragging the
// buttons or with the arrows. Toggling a button emits dateChanged with its day
// (a null date for "Live").
class TimeDateLineWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ButtonWidth = 62;
    static constexpr int ButtonSpacing = 4;
    static constexpr int LiveId = -1;

    explicit TimeDateLineWidget(QWidget* parent = nullptr);

    const QVector<QDate>& dates() const { return m_dates; }
    int scrollOffset() const { return m_offset; }
    int buttonsWidth() const { return m_buttonsWidth; }
    // The checked day; a null date for "Live" or nothing checked.
    QDate checkedDate() const;
    bool isLiveChecked() const;
    VuDateButton* dateButton(int index) const;
    VuDateButton* liveButton() const { return m_live; }

signals:
    void dateChanged(QDate date);

public slots:
    void updateDates(QVector<QDate> vec_date);
    void updateCurrentTimestamp(int timestamp, bool is_playback);
    void goLeft();
    void goRight();
    void onToggled(int id);
    void onBtnMousePressd(QMouseEvent* e);
    void onBtnMouseMoved(QMouseEvent* e);
    void updateBtns();
    void updateBtnsPos();
    void updateWidth();
    void ensureVisbile();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void setOffset(int offset);
    VuDateButton* makeButton(const QString& text, int id);
    void checkQuietly(VuDateButton* b);

    QVector<QDate> m_dates;
    QVector<VuDateButton*> m_buttons;
    VuDateButton* m_live = nullptr;
    QButtonGroup* m_group;
    int m_offset = 0;
    int m_buttonsWidth = 0;
    int m_pressX = 0;
    int m_pressOffset = 0;
    bool m_quiet = false;
};
