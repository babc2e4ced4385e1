#include "ui/viewmodelistwidget.h"
#include "ui/respixmap.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOption>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

ViewModeListWidget::ViewModeListWidget(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("view_mode_list_"));
    setAttribute(Qt::WA_TranslucentBackground, true);
    setAttribute(Qt::WA_StyledBackground, true);

    static const int modes[3] = {1, 4, 9};
    auto* lay = new QVBoxLayout(this);
    // The bottom margin leaves room for the bubble's pointer.
    lay->setContentsMargins(8, 8, 8, 16);
    lay->setSpacing(2);
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(this);
        b->setObjectName(QStringLiteral("grid_mode_%1_").arg(modes[i]));
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setCursor(Qt::PointingHandCursor);
        b->setFixedHeight(32);
        auto* icon = new QLabel(b);
        icon->setObjectName(QStringLiteral("grid_mode_icon"));
        icon->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/grid_mode_%1.png").arg(modes[i])));
        icon->setAttribute(Qt::WA_TransparentForMouseEvents, true);
        auto* text = new QLabel(b);
        text->setObjectName(QStringLiteral("grid_mode_%1_txt").arg(modes[i]));
        text->setAttribute(Qt::WA_TransparentForMouseEvents, true);
        auto* row = new QHBoxLayout(b);
        row->setContentsMargins(10, 0, 12, 0);
        row->setSpacing(10);
        row->addWidget(icon);
        row->addWidget(text, 1);
        m_entries[i] = b;
        m_texts[i] = text;
        lay->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, i] {
            setCurrentIndex(i);
            emit entryChosen(i);
            hide();
        });
    }
    retranslate();
    setFixedSize(sizeHint().expandedTo(QSize(140, 0)));
}

QString ViewModeListWidget::caption(int index)
{
    switch (index) {
    case 0:
        return tr("1Window");
    case 1:
        return tr("4Windows");
    case 2:
        return tr("9Windows");
    default:
        return QString();
    }
}

void ViewModeListWidget::retranslate()
{
    for (int i = 0; i < 3; ++i)
        m_texts[i]->setText(caption(i));
}

void ViewModeListWidget::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(e);
}

QPushButton* ViewModeListWidget::entry(int index) const
{
    return (index >= 0 && index < 3) ? m_entries[index] : nullptr;
}

void ViewModeListWidget::setCurrentIndex(int index)
{
    m_current = index;
    for (int i = 0; i < 3; ++i)
        m_entries[i]->setChecked(i == index);
}

void ViewModeListWidget::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    emit onHide();
}

void ViewModeListWidget::paintEvent(QPaintEvent*)
{
    // A translucent top-level: the style sheet's panel is drawn here.
    QStyleOption opt;
    opt.initFrom(this);
    QPainter p(this);
    style()->drawPrimitive(QStyle::PE_Widget, &opt, &p, this);
}
