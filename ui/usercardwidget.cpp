#include "ui/usercardwidget.h"
#include "ui/respixmap.h"

#include "ui/mlabel.h"
#include "ui/settingmenu.h"

#include <QBuffer>
#include <QCursor>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace {

// A round picture of the user for the title bar.
QPixmap roundIcon(const QPixmap& source, int size)
{
    QPixmap out(size, size);
    out.fill(Qt::transparent);
    if (source.isNull())
        return out;
    const QPixmap scaled = source.scaled(size, size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath clip;
    clip.addEllipse(QRectF(0, 0, size, size));
    p.setClipPath(clip);
    p.drawPixmap((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
    return out;
}

} // namespace

UserCardWidget::UserCardWidget(QWidget* window, int menuHideMs, QWidget* parent)
    : QWidget(parent), m_window(window)
{
    setObjectName(QStringLiteral("user_card_"));
    auto* cardLayout = new QHBoxLayout(this);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    cardLayout->setSpacing(6);
    m_icon = new MLabel(this);
    m_icon->setObjectName(QStringLiteral("user_icon_"));
    m_icon->setFixedSize(IconSize, IconSize);
    m_icon->setCursor(Qt::PointingHandCursor);
    m_iconFrame = new QLabel(m_icon);
    m_iconFrame->setGeometry(0, 0, IconSize, IconSize);
    m_iconFrame->setScaledContents(true);
    m_iconFrame->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/user_icon_frame.png")));
    m_iconFrame->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    m_nameLabel = new QLabel(this);
    m_nameLabel->setObjectName(QStringLiteral("user_name_"));
    m_nameLabel->setFixedWidth(120);
    m_nameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cardLayout->addWidget(m_icon);
    cardLayout->addWidget(m_nameLabel);
    hide();
    connect(m_icon, &MLabel::onEnterEvent, this, &UserCardWidget::showMenu);
    connect(m_icon, &MLabel::Clicked, this, [this](MLabel*) { showMenu(); });
    m_menuTimer = new QTimer(this);
    m_menuTimer->setSingleShot(true);
    m_menuTimer->setInterval(menuHideMs);
    connect(m_icon, &MLabel::onLeaveEvent, this, [this]() {
        if (m_menu)
            m_menuTimer->start();
    });
    connect(m_menuTimer, &QTimer::timeout, this, &UserCardWidget::checkMenuHide);
}

UserCardWidget::~UserCardWidget()
{
    if (m_menu)
        delete m_menu.data();
}

void UserCardWidget::setUser(const QString& nickName, const QByteArray& icon)
{
    m_userName = nickName;
    if (nickName.isEmpty() && icon.isEmpty()) {
        m_nameLabel->clear();
        m_nameLabel->setToolTip(QString());
        m_icon->clear();
        hide();
        hideMenu();
        return;
    }
    QPixmap picture;
    // The bytes come from the cloud: a small file may still claim a huge
    // picture, so its size is read before anything is decoded.
    QBuffer buffer;
    buffer.setData(icon);
    QImageReader reader(&buffer);
    const QSize declared = reader.size();
    const bool sane = declared.isValid() && declared.width() <= MaxIconSide && declared.height() <= MaxIconSide;
    if (!icon.isNull() && declared.isValid() && !sane)
        qWarning("user icon refused: it claims %dx%d pixels", declared.width(), declared.height());
    if (icon.isNull() || !sane || !picture.convertFromImage(reader.read())) {
        if (!icon.isNull())
            qWarning("user icon is not a picture (%d bytes), showing the default one", int(icon.size()));
        picture = ResPixmap::load(QStringLiteral(":/res/imgs/default_user_icon.png"));
    }
    m_icon->setPixmap(roundIcon(picture, IconSize));
    m_iconFrame->raise();
    const QFontMetrics fm(m_nameLabel->font());
    m_nameLabel->setText(fm.elidedText(nickName, Qt::ElideRight, m_nameLabel->width()));
    m_nameLabel->setToolTip(nickName);
    show();
}

void UserCardWidget::showMenu()
{
    if (isHidden())
        return;
    if (!m_menu) {
        m_menu = new SettingMenu(m_window);
        connect(m_menu, &SettingMenu::aboutTriggered, this, [this]() {
            hideMenu();
            emit aboutTriggered();
        });
        connect(m_menu, &SettingMenu::logoutTriggered, this, &UserCardWidget::logoutTriggered);
        connect(m_menu, &SettingMenu::mouseLeft, m_menuTimer, qOverload<>(&QTimer::start));
        // However it was hidden (the window minimised too), it goes.
        connect(m_menu, &SettingMenu::onHide, m_menu, &QObject::deleteLater);
    }
    m_menuTimer->stop();
    // Centred under the icon, inside the window.
    const int centre = m_icon->mapTo(m_window, QPoint(m_icon->width() / 2, 0)).x();
    const int x = qBound(0, centre - m_menu->width() / 2, qMax(0, m_window->width() - m_menu->width()));
    m_menu->move(x, MenuTop);
    m_menu->show();
    m_menu->raise();
    // Opened without the mouse on the icon (a call, not a hover): the
    // mouse has left it already.
    if (!m_icon->rect().contains(m_icon->mapFromGlobal(QCursor::pos())))
        m_menuTimer->start();
}

void UserCardWidget::hideMenu()
{
    m_menuTimer->stop();
    if (m_menu) {
        SettingMenu* menu = m_menu;
        m_menu = nullptr;
        menu->hide();
        menu->deleteLater();
    }
}

void UserCardWidget::checkMenuHide()
{
    if (!m_menu)
        return;
    // Back on the icon the menu stays as it was opened; over the menu it
    // stays until the mouse leaves the menu (which starts the timer again).
    const bool overIcon = m_icon->isVisible() && m_icon->rect().contains(m_icon->mapFromGlobal(QCursor::pos()));
    if (!overIcon && !m_menu->isMouseOver())
        hideMenu();
}
