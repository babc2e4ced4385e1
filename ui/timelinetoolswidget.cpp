#include "ui/timelinetoolswidget.h"

#include "ui/timedatelinewidget.h"
#include "ui/timelinewidget.h"

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QPushButton>

namespace {
QPushButton* makeToolButton(const char* name, QWidget* parent)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    b->setFixedSize(24, 24);
    b->setAutoRepeat(false);
    return b;
}

QString timelineStyleSheet()
{
    QFile f(QStringLiteral(":/res/css/timeline.css"));
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning("timeline style sheet missing: :/res/css/timeline.css");
        return QString();
    }
    return QString::fromUtf8(f.readAll());
}
} // namespace

TimeLineToolsWidget::TimeLineToolsWidget(QWidget* parent, int debounceMs)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("timeline_tools_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(timelineStyleSheet());

    m_dateLine = new TimeDateLineWidget(this);
    m_timeLine = new TimeLineWidget(this, debounceMs);
    m_btnDateLeft = makeToolButton("btnDateLeft", this);
    m_btnDateRight = makeToolButton("btnDateRight", this);
    m_btnTimeZoomIn = makeToolButton("btnTimeZoomIn", this);
    m_btnTimeZoomOut = makeToolButton("btnTimeZoomOut", this);
    m_btnTimeLeft = makeToolButton("btnTimeLeft", this);
    m_btnTimeRight = makeToolButton("btnTimeRight", this);

    auto* lay = new QGridLayout(this);
    lay->setContentsMargins(6, 4, 6, 4);
    lay->setHorizontalSpacing(4);
    lay->setVerticalSpacing(4);
    lay->addWidget(m_btnTimeZoomOut, 0, 0);
    lay->addWidget(m_btnDateLeft, 0, 1);
    lay->addWidget(m_dateLine, 0, 2);
    lay->addWidget(m_btnDateRight, 0, 3);
    lay->addWidget(m_btnTimeZoomIn, 0, 4);
    lay->setColumnStretch(2, 1);
    auto* axisRow = new QHBoxLayout;
    axisRow->setSpacing(4);
    axisRow->addWidget(m_btnTimeLeft);
    axisRow->addWidget(m_timeLine, 1);
    axisRow->addWidget(m_btnTimeRight);
    lay->addLayout(axisRow, 1, 0, 1, 5);

    connect(m_timeLine, &TimeLineWidget::locationSelected, this, &TimeLineToolsWidget::onLocationSelected);
    connect(m_timeLine, &TimeLineWidget::locationChanged, this, &TimeLineToolsWidget::locationChanged);
    connect(m_dateLine, &TimeDateLineWidget::dateChanged, m_timeLine, &TimeLineWidget::updateCurrentDate);
    connect(m_btnTimeZoomIn, &QPushButton::clicked, this, &TimeLineToolsWidget::onBtnTimeZoomInClicked);
    connect(m_btnTimeZoomOut, &QPushButton::clicked, this, &TimeLineToolsWidget::onBtnTimeZoomOutClicked);
    connect(m_btnTimeLeft, &QPushButton::clicked, m_timeLine, &TimeLineWidget::goLeft);
    connect(m_btnTimeRight, &QPushButton::clicked, m_timeLine, &TimeLineWidget::goRight);
    connect(m_btnDateLeft, &QPushButton::clicked, m_dateLine, &TimeDateLineWidget::goLeft);
    connect(m_btnDateRight, &QPushButton::clicked, m_dateLine, &TimeDateLineWidget::goRight);

    retranslate();
    // Empty until the first recording list.
    for (QPushButton* b : {m_btnDateLeft, m_btnDateRight, m_btnTimeZoomIn, m_btnTimeZoomOut,
                           m_btnTimeLeft, m_btnTimeRight})
        b->setVisible(false);
}

void TimeLineToolsWidget::retranslate()
{
    m_btnDateLeft->setToolTip(tr("Earlier days"));
    m_btnDateRight->setToolTip(tr("Later days"));
    m_btnTimeZoomIn->setToolTip(tr("Zoom in"));
    m_btnTimeZoomOut->setToolTip(tr("Zoom out"));
    m_btnTimeLeft->setToolTip(tr("Back 5 minutes"));
    m_btnTimeRight->setToolTip(tr("Forward 5 minutes"));
}

void TimeLineToolsWidget::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(e);
}

QPushButton* TimeLineToolsWidget::toolButton(const QString& name) const
{
    return findChild<QPushButton*>(name, Qt::FindDirectChildrenOnly);
}

bool TimeLineToolsWidget::buttonsShown() const
{
    return !m_btnTimeZoomIn->isHidden();
}

uchar TimeLineToolsWidget::judgeColor(uchar motioned, uchar saved)
{
    if (saved == 1)
        return 2;
    if (motioned == 1)
        return 1;
    return 0;
}

QVector<TimeAreaHeader> TimeLineToolsWidget::mergeAreas(const QVector<RecordFileHeader>& vec)
{
    QVector<TimeAreaHeader> areas;
    bool open = false;
    TimeAreaHeader cur;
    for (const RecordFileHeader& h : vec) {
        if (h.startTime == 0)
            continue;
        const int start = int(h.startTime);
        const uchar cls = judgeColor(h.motioned, h.saved);
        if (open && cur.colorClass == cls && cur.start + cur.length == start) {
            cur.length += h.duration;
            continue;
        }
        if (open)
            areas.append(cur);
        cur.start = start;
        cur.length = h.duration;
        cur.colorClass = cls;
        open = true;
    }
    if (open)
        areas.append(cur);
    return areas;
}

QVector<QDate> TimeLineToolsWidget::recordingDays(const QVector<RecordFileHeader>& vec)
{
    QVector<QDate> days;
    for (const RecordFileHeader& h : vec) {
        if (h.startTime == 0)
            continue;
        const qint64 start = h.startTime;
        // The last second the recording covers (its end is exclusive).
        const qint64 last = start + qMax<int>(h.duration, 1) - 1;
        for (const qint64 t : {start, last}) {
            const QDate d = QDateTime::fromSecsSinceEpoch(t).date();
            if (!days.contains(d))
                days.append(d);
        }
    }
    return days;
}

void TimeLineToolsWidget::updateFileHeaders(QVector<RecordFileHeader> vec)
{
    for (QPushButton* b : {m_btnDateLeft, m_btnDateRight, m_btnTimeZoomIn, m_btnTimeZoomOut,
                           m_btnTimeLeft, m_btnTimeRight})
        b->setVisible(!vec.isEmpty());
    // The list ends with one record that is not drawn.
    if (!vec.isEmpty())
        vec.removeLast();
    if (vec == m_headers)
        return;
    m_headers = vec;
    m_timeLine->updateTimeAreas(mergeAreas(m_headers));
    m_dateLine->updateDates(recordingDays(m_headers));
}

void TimeLineToolsWidget::select(int start, int offset)
{
    m_pendingSeek = start + offset;
    emit locationSelected(start, offset, 0);
    emit locationSelected(start, offset);
}

void TimeLineToolsWidget::onLocationSelected(int locate_timestamp)
{
    if (m_headers.isEmpty())
        return;
    const qint64 t = locate_timestamp;
    const RecordFileHeader& last = m_headers.last();
    if (t < qint64(last.startTime) + last.duration) {
        qint64 prevEnd = 0;
        for (const RecordFileHeader& h : qAsConst(m_headers)) {
            if (h.startTime == 0)
                continue;
            const qint64 start = h.startTime;
            const qint64 end = start + h.duration;
            if (prevEnd <= t && t < start) {
                select(int(start), 0);
                return;
            }
            if (start <= t && t < end) {
                select(int(start), int(t - start));
                return;
            }
            prevEnd = end;
        }
    }
    // At or after the end of the recordings: live video.
    m_pendingSeek = 0;
    emit locationSelected(0, 0, 0);
    emit locationSelected(0, 0);
}

void TimeLineToolsWidget::updateFrameInfo(FrameInfo frame_info)
{
    updateFrameTime(int(frame_info.timestamp), frame_info.isPlayback);
}

void TimeLineToolsWidget::updateFrameTime(int timestamp, bool isPlayback)
{
    if (m_headers.isEmpty())
        return;
    if (m_pendingSeek == 0) {
        // Waiting for live video: playback frames still in flight are stale.
        if (isPlayback)
            return;
        m_pendingSeek = -1;
        emit locationSwitched();
    } else if (m_pendingSeek > 0) {
        const qint64 s = m_pendingSeek;
        const qint64 tolerance = qAbs((s - m_lastFrameTime) / 2);
        if (qAbs(qint64(timestamp) - s) > tolerance)
            return;
        m_pendingSeek = -1;
        emit locationSwitched();
    }
    m_lastFrameTime = timestamp;
    m_dateLine->updateCurrentTimestamp(timestamp, isPlayback);
    m_timeLine->updateCurrentTimestamp(timestamp);
}

void TimeLineToolsWidget::onBtnTimeZoomInClicked()
{
    m_timeLine->zoomIn();
}

void TimeLineToolsWidget::onBtnTimeZoomOutClicked()
{
    m_timeLine->zoomOut();
}

void TimeLineToolsWidget::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    m_dateLine->updateBtnsPos();
}
