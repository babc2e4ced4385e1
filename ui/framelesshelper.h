#pragma once

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QRect>

class QRubberBand;
class QWidget;

// Moves and resizes frameless top-level widgets. Activated on a widget it
// watches the widget's mouse events: a drag with the left button moves the
// window, a drag that starts in the 5-pixel border resizes it (never below its
// minimum size), and the cursor shows the resize shape of the edge under it.
// A window that is maximised (by the system or by TitleBar, which sets the
// property "framelessMaximized") is left alone.
class FramelessHelper : public QObject
{
    Q_OBJECT
public:
    static constexpr int BorderWidth = 5;

    explicit FramelessHelper(QObject* parent = nullptr);
    ~FramelessHelper() override;

    void activateOn(QWidget* w);
    void removeFrom(QWidget* w);

    void setWidgetMovable(bool movable) { m_movable = movable; }
    void setWidgetResizable(bool resizable) { m_resizable = resizable; }
    void setRubberBandOnMove(bool on) { m_rubberBandOnMove = on; }
    void setRubberBandOnResize(bool on) { m_rubberBandOnResize = on; }
    // Limits moving to presses in the top band of this height (0: anywhere).
    void setTitleHeight(int h) { m_titleHeight = h; }

    bool widgetMovable() const { return m_movable; }
    bool widgetResizable() const { return m_resizable; }
    bool rubberBandOnMove() const { return m_rubberBandOnMove; }
    bool rubberBandOnResize() const { return m_rubberBandOnResize; }

    // Edges of the border at pos (widget coordinates) as Qt::Edges.
    static Qt::Edges edgesAt(const QRect& rect, const QPoint& pos);
    // The geometry that a resize from start by the global delta gives, with
    // the dragged edges stopping at the minimum and maximum sizes.
    static QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta,
                                 const QSize& minSize, const QSize& maxSize);

protected:
    bool eventFilter(QObject* obj, QEvent* event) override;

private:
    struct State
    {
        QRubberBand* band = nullptr;
        bool pressed = false;
        bool moving = false;
        Qt::Edges edges;
        QPoint pressGlobal;
        QRect startGeometry;
        QRect pending;
    };

    void updateCursor(QWidget* w, const QPoint& pos);
    void showBand(State& s, const QRect& r);

    QHash<QWidget*, State> m_states;
    bool m_movable = true;
    bool m_resizable = true;
    bool m_rubberBandOnMove = false;
    bool m_rubberBandOnResize = false;
    int m_titleHeight = 0;
};
