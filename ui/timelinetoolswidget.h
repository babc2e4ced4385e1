#pragma once

#include <QVector>
#include <QWidget>

#include "camera/frameinfo.h"
#include "camera/recordfileheader.h"
#include "ui/timeareaheader.h"
#include "ui/timelinewidget.h"

class QPushButton;
class TimeDateLineWidget;

// The playback timeline row of a camera tile: the day strip, the time axis and
// their buttons. It turns the camera's recording list into drawn areas and day
// buttons, a chosen moment into a play request, and follows the shown frames.
class TimeLineToolsWidget : public QWidget
{
    Q_OBJECT
public:
    // debounceMs: the axis's quiet time before a move becomes a request.
    explicit TimeLineToolsWidget(QWidget* parent = nullptr, int debounceMs = TimeLineWidget::DebounceMs);

    // 2 when saved, else 1 when motion, else 0.
    static uchar judgeColor(uchar motioned, uchar saved);
    // The drawn areas of a recording list: records with start 0 skipped,
    // touching records of one colour class merged.
    static QVector<TimeAreaHeader> mergeAreas(const QVector<RecordFileHeader>& vec);
    // The recording days (local time) in order of first appearance.
    static QVector<QDate> recordingDays(const QVector<RecordFileHeader>& vec);

    const QVector<RecordFileHeader>& fileHeaders() const { return m_headers; }
    bool hasRecordings() const { return !m_headers.isEmpty(); }
    // -1 none, 0 live, else the awaited playback moment.
    int pendingSeek() const { return m_pendingSeek; }
    int lastFrameTime() const { return m_lastFrameTime; }
    TimeLineWidget* timeLine() const { return m_timeLine; }
    TimeDateLineWidget* dateLine() const { return m_dateLine; }
    QPushButton* toolButton(const QString& name) const;
    bool buttonsShown() const;

signals:
    void locationChanged(int timestamp);
    void locationSelected(int startTime, int offsetTime, int endTime);
    void locationSelected(int startTime, int offsetTime);
    void locationSwitched();

public slots:
    void updateFileHeaders(QVector<RecordFileHeader> vec);
    // The time stamp and playback flag of each shown picture.
    void updateFrameInfo(FrameInfo frame_info);
    // The same from plain values.
    void updateFrameTime(int timestamp, bool isPlayback);
    void onBtnTimeZoomInClicked();
    void onBtnTimeZoomOutClicked();
    void onLocationSelected(int locate_timestamp);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void select(int start, int offset);
    void retranslate();

    QVector<RecordFileHeader> m_headers;
    int m_pendingSeek = -1;
    int m_lastFrameTime = 0;
    TimeDateLineWidget* m_dateLine;
    TimeLineWidget* m_timeLine;
    QPushButton* m_btnDateLeft;
    QPushButton* m_btnDateRight;
    QPushButton* m_btnTimeZoomIn;
    QPushButton* m_btnTimeZoomOut;
    QPushButton* m_btnTimeLeft;
    QPushButton* m_btnTimeRight;
};
