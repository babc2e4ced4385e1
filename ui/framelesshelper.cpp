#include "ui/framelesshelper.h"

#include <QEvent>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWidget>

FramelessHelper::FramelessHelper(QObject* parent)
    : QObject(parent)
{
}

FramelessHelper::~FramelessHelper()
{
    const auto widgets = m_states.keys();
    for (QWidget* w : widgets)
        removeFrom(w);
}

void FramelessHelper::activateOn(QWidget* w)
{
    if (!w || m_states.contains(w))
        return;
    m_states.insert(w, State());
    w->setMouseTracking(true);
    w->setAttribute(Qt::WA_Hover, true);
    w->installEventFilter(this);
    // The band is a window of its own: it goes with the watched widget.
    connect(w, &QObject::destroyed, this, [this, w] {
        auto it = m_states.find(w);
        if (it != m_states.end()) {
            delete it->band;
            m_states.erase(it);
        }
    });
}

void FramelessHelper::removeFrom(QWidget* w)
{
    auto it = m_states.find(w);
    if (it == m_states.end())
        return;
    delete it->band;
    m_states.erase(it);
    w->removeEventFilter(this);
    w->unsetCursor();
}

Qt::Edges FramelessHelper::edgesAt(const QRect& rect, const QPoint& pos)
{
    Qt::Edges e;
    if (!rect.contains(pos))
        return e;
    if (pos.x() < rect.left() + BorderWidth)
        e |= Qt::LeftEdge;
    else if (pos.x() > rect.right() - BorderWidth)
        e |= Qt::RightEdge;
    if (pos.y() < rect.top() + BorderWidth)
        e |= Qt::TopEdge;
    else if (pos.y() > rect.bottom() - BorderWidth)
        e |= Qt::BottomEdge;
    return e;
}

QRect FramelessHelper::resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta,
                                       const QSize& minSize, const QSize& maxSize)
{
    const int minW = qMax(1, minSize.width());
    const int minH = qMax(1, minSize.height());
    const int maxW = qMax(minW, maxSize.width());
    const int maxH = qMax(minH, maxSize.height());

    int left = start.left();
    int right = start.right();
    int top = start.top();
    int bottom = start.bottom();

    // The edge opposite the dragged one stays; the dragged edge stops where the
    // size would leave the allowed range.
    if (edges & Qt::LeftEdge)
        left = qBound(right - maxW + 1, start.left() + delta.x(), right - minW + 1);
    else if (edges & Qt::RightEdge)
        right = qBound(left + minW - 1, start.right() + delta.x(), left + maxW - 1);
    if (edges & Qt::TopEdge)
        top = qBound(bottom - maxH + 1, start.top() + delta.y(), bottom - minH + 1);
    else if (edges & Qt::BottomEdge)
        bottom = qBound(top + minH - 1, start.bottom() + delta.y(), top + maxH - 1);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void FramelessHelper::updateCursor(QWidget* w, const QPoint& pos)
{
    if (!m_resizable) {
        w->unsetCursor();
        return;
    }
    const Qt::Edges e = edgesAt(w->rect(), pos);
    if (e == (Qt::TopEdge | Qt::LeftEdge) || e == (Qt::BottomEdge | Qt::RightEdge))
        w->setCursor(Qt::SizeFDiagCursor);
    else if (e == (Qt::TopEdge | Qt::RightEdge) || e == (Qt::BottomEdge | Qt::LeftEdge))
        w->setCursor(Qt::SizeBDiagCursor);
    else if (e & (Qt::LeftEdge | Qt::RightEdge))
        w->setCursor(Qt::SizeHorCursor);
    else if (e & (Qt::TopEdge | Qt::BottomEdge))
        w->setCursor(Qt::SizeVerCursor);
    else
        w->unsetCursor();
}

void FramelessHelper::showBand(State& s, const QRect& r)
{
    if (!s.band)
        s.band = new QRubberBand(QRubberBand::Rectangle);
    s.band->setGeometry(r);
    s.band->show();
}

bool FramelessHelper::eventFilter(QObject* obj, QEvent* event)
{
    auto* w = qobject_cast<QWidget*>(obj);
    auto it = w ? m_states.find(w) : m_states.end();
    if (it == m_states.end())
        return QObject::eventFilter(obj, event);
    State& s = *it;

    switch (event->type()) {
    case QEvent::HoverMove: {
        if (!s.pressed)
            updateCursor(w, static_cast<QHoverEvent*>(event)->pos());
        break;
    }
    case QEvent::Leave:
    case QEvent::HoverLeave:
        if (!s.pressed)
            w->unsetCursor();
        break;
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton)
            break;
        const bool maximized = w->isMaximized() || w->isFullScreen()
            || w->property("framelessMaximized").toBool();
        s.edges = (m_resizable && !maximized) ? edgesAt(w->rect(), me->pos()) : Qt::Edges();
        s.moving = !s.edges && m_movable && !maximized
            && (m_titleHeight <= 0 || me->pos().y() < m_titleHeight);
        if (!s.edges && !s.moving)
            break;
        s.pressed = true;
        s.pressGlobal = me->globalPos();
        s.startGeometry = w->geometry();
        s.pending = s.startGeometry;
        return true;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (!s.pressed) {
            updateCursor(w, me->pos());
            break;
        }
        const QPoint delta = me->globalPos() - s.pressGlobal;
        if (s.edges) {
            s.pending = resizedGeometry(s.startGeometry, s.edges, delta, w->minimumSize(),
                                        w->maximumSize());
            if (m_rubberBandOnResize)
                showBand(s, s.pending);
            else
                w->setGeometry(s.pending);
        } else {
            s.pending = s.startGeometry.translated(delta);
            if (m_rubberBandOnMove)
                showBand(s, s.pending);
            else
                w->move(s.pending.topLeft());
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (!s.pressed || me->button() != Qt::LeftButton)
            break;
        s.pressed = false;
        if (s.band && s.band->isVisible()) {
            s.band->hide();
            if (s.edges)
                w->setGeometry(s.pending);
            else
                w->move(s.pending.topLeft());
        }
        s.edges = Qt::Edges();
        s.moving = false;
        updateCursor(w, me->pos());
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(obj, event);
}
