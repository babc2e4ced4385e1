#include "ui/videosolutioncombobox.h"

#include <QEvent>
#include <QFrame>
#include <QVBoxLayout>

VideoSolutionCombobox::VideoSolutionCombobox(QWidget* parent)
    : QPushButton(parent)
{
    setObjectName(QStringLiteral("video_solution_cbx_"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(52, 22);

    m_popup = new QFrame(this, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    m_popup->setObjectName(QStringLiteral("video_solution_list_"));
    m_popup->setAttribute(Qt::WA_TranslucentBackground, true);
    m_popup->installEventFilter(this);
    auto* lay = new QVBoxLayout(m_popup);
    lay->setContentsMargins(4, 4, 4, 4);
    lay->setSpacing(2);
    // Highest quality on top, as the list opens upwards.
    for (int q = 2; q >= 0; --q) {
        auto* b = new QPushButton(m_popup);
        b->setObjectName(QStringLiteral("video_solution_item_"));
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setCursor(Qt::PointingHandCursor);
        b->setFixedSize(56, 26);
        m_items[q] = b;
        lay->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, q] {
            hidePopup();
            choose(q);
        });
    }
    m_popup->hide();
    connect(this, &QPushButton::clicked, this, &VideoSolutionCombobox::showPopup);
    retranslate();
    setCurrentQuality(2);
}

VideoSolutionCombobox::~VideoSolutionCombobox()
{
    m_popup->removeEventFilter(this);
}

QString VideoSolutionCombobox::qualityName(int q)
{
    switch (q) {
    case 0:
        return tr("Auto");
    case 1:
        return tr("SD");
    case 2:
        return tr("HD");
    default:
        return QString();
    }
}

void VideoSolutionCombobox::retranslate()
{
    for (int q = 0; q < 3; ++q)
        m_items[q]->setText(qualityName(q));
    setText(qualityName(m_current));
}

void VideoSolutionCombobox::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QPushButton::changeEvent(e);
}

QWidget* VideoSolutionCombobox::popupList() const
{
    return m_popup;
}

QPushButton* VideoSolutionCombobox::item(int q) const
{
    return (q >= 0 && q < 3) ? m_items[q] : nullptr;
}

void VideoSolutionCombobox::setCurrentQuality(int q)
{
    if (q < 0 || q > 2)
        return;
    m_current = q;
    for (int i = 0; i < 3; ++i)
        m_items[i]->setChecked(i == q);
    setText(qualityName(q));
}

void VideoSolutionCombobox::choose(int q)
{
    if (q < 0 || q > 2 || q == m_current)
        return;
    setCurrentQuality(q);
    emit currentQualityChanged(q);
}

void VideoSolutionCombobox::showPopup()
{
    if (m_popup->isVisible())
        return;
    emit beforePopup();
    m_popup->adjustSize();
    const QPoint topCentre = mapToGlobal(QPoint(width() / 2, 0));
    m_popup->move(topCentre.x() - m_popup->width() / 2, topCentre.y() - m_popup->height() - 4);
    m_popup->show();
}

void VideoSolutionCombobox::hidePopup()
{
    m_popup->hide();
}

bool VideoSolutionCombobox::eventFilter(QObject* obj, QEvent* e)
{
    // The list also closes by a click outside it: afterPopup() either way.
    if (obj == m_popup && e->type() == QEvent::Hide)
        emit afterPopup();
    return QPushButton::eventFilter(obj, e);
}
