#pragma once

#include <QColor>
#include <QDate>
#include <QVector>
#include <QWidget>

#include "ui/timeareaheader.h"

class QPainter;
class QTimer;

// The drawn time axis of the playback timeline. The moment under the centre
// line is currentTime; secondsPerPixel (1..30) is the zoom. Moves (arrows,
// drag) announce the new moment with locationSelected after 500 ms of quiet.
class TimeLineWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MinSecondsPerPixel = 1;
    static constexpr int MaxSecondsPerPixel = 30;
    static constexpr int StepSeconds = 300;
    static constexpr int DebounceMs = 500;

    // debounceMs: the quiet time before a move is announced.
    explicit TimeLineWidget(QWidget* parent = nullptr, int debounceMs = DebounceMs);

    int currentTime() const { return m_currentTime; }
    int secondsPerPixel() const { return m_secondsPerPixel; }
    bool isLive() const { return m_live; }
    bool isDragging() const { return m_dragStartX >= 0; }
    const QVector<TimeAreaHeader>& timeAreas() const { return m_areas; }
    // The window's left edge in seconds since 1970.
    double leftEdge() const;

    // Zoom: false when the limit refuses the step.
    bool zoomIn();
    bool zoomOut();

    static QColor color(int index);

signals:
    void locationChanged(int timestamp);
    void locationSelected(int locate_timestamp);

public slots:
    void updateTimeAreas(QVector<TimeAreaHeader> vec_time);
    void updateCurrentDate(QDate date);
    void updateCurrentTimestamp(int timestamp);
    void goLeft();
    void goRight();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void moveTo(int t);
    void paintCentre(QPainter& p, int w, int h);
    void onDebounce();

    int m_currentTime = 0;
    int m_secondsPerPixel = 5;
    QVector<TimeAreaHeader> m_areas;
    int m_dragStartX = -1;
    int m_dragX = -1;
    QTimer* m_selectTimer;
    int m_pendingValue = 0;
    bool m_live = true;
};
