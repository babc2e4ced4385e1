#include "bench/app/paintprobe.h"

#include "bench/support/benchclock.h"
#include "ui/videolabel.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QEvent>
#include <QLabel>

PaintProbe::PaintProbe(QObject* parent)
    : QObject(parent)
{
}

void PaintProbe::watch(VuCameraWidget* tile)
{
    QLabel* video = tile->ui()->videoLabel();
    Tile t;
    t.tile = tile;
    m_tiles.insert(video, t);
    video->installEventFilter(this);
}

quint64 PaintProbe::painted(VuCameraWidget* tile) const
{
    for (const Tile& t : m_tiles)
        if (t.tile == tile)
            return t.painted;
    return 0;
}

bool PaintProbe::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() != QEvent::Paint)
        return false;
    auto it = m_tiles.find(watched);
    if (it == m_tiles.end())
        return false;
    const FrameInfo info = it->tile->lastFrameInfo();
    if (info.sendTimeUs == 0 || info.sendTimeUs == it->lastSendUs)
        return false; // a repaint of the same picture (an overlay, a resize)
    it->lastSendUs = info.sendTimeUs;
    ++it->painted;
    if (m_recording) {
        const qint64 now = BenchClock::steadyUs();
        m_sendToPaint.push_back(double(now - qint64(info.sendTimeUs)) / 1000.0);
        m_arrivalToPaint.push_back(double(now - info.receivedUs) / 1000.0);
        m_sendToArrival.push_back(double(info.receivedUs - qint64(info.sendTimeUs)) / 1000.0);
    }
    return false;
}
