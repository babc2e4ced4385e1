#include "ui/statepages.h"
#include "ui/respixmap.h"

#include "browser/mcefwebview.h"
#include "ui/imageslabel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

// The texts are the main window's (translation context "MainWindowUI").

StatePages::StatePages(QWidget* window)
    : QWidget(window), m_window(window)
{
    setObjectName(QStringLiteral("content_frame_"));
    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

void StatePages::showPage(QWidget* page)
{
    m_page = page;
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->addWidget(m_page, 1);
    m_page->show();
}

void StatePages::deletePage()
{
    if (!m_page)
        return;
    QWidget* page = m_page;
    m_page = nullptr;
    page->hide();
    delete page;
}

void StatePages::showLoading()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("loading_page_"));
    page->setAttribute(Qt::WA_StyledBackground, true);
    auto* images = new ImagesLabel(page);
    images->setObjectName(QStringLiteral("loading_images_"));
    images->setFixedSize(162, 162);
    images->setScaledContents(true);
    auto* lay = new QVBoxLayout(page);
    lay->addStretch(1);
    lay->addWidget(images, 0, Qt::AlignHCenter);
    lay->addStretch(1);
    images->start(50, QStringLiteral(":res/gif/state_sequencen_"), QStringLiteral(".png"), 26);
    showPage(page);
}

QWidget* StatePages::makeMessagePage(const char* pageName, const char* imageName, const QString& image,
                                     const char* labelName, const QString& text, const char* buttonName,
                                     const QString& buttonText, void (StatePages::*clicked)())
{
    auto* page = new QWidget(this);
    page->setObjectName(QLatin1String(pageName));
    page->setAttribute(Qt::WA_StyledBackground, true);
    auto* img = new QLabel(page);
    img->setObjectName(QLatin1String(imageName));
    img->setPixmap(ResPixmap::load(image));
    auto* label = new QLabel(text, page);
    label->setObjectName(QLatin1String(labelName));
    auto* button = new QPushButton(buttonText, page);
    button->setObjectName(QLatin1String(buttonName));
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QPushButton::clicked, this, clicked);
    auto* lay = new QVBoxLayout(page);
    lay->setSpacing(16);
    lay->addStretch(1);
    lay->addWidget(img, 0, Qt::AlignHCenter);
    lay->addWidget(label, 0, Qt::AlignHCenter);
    lay->addWidget(button, 0, Qt::AlignHCenter);
    lay->addStretch(1);
    return page;
}

void StatePages::showNetError()
{
    showPage(makeMessagePage("net_error_page_", "net_err_img", QStringLiteral(":/res/imgs/net_error.png"),
                             "net_err_label", QCoreApplication::translate("MainWindowUI", "net error,click to retry."),
                             "retry_login_btn_", QCoreApplication::translate("MainWindowUI", "Retry"),
                             &StatePages::retryClicked));
}

void StatePages::showNoCamera()
{
    showPage(makeMessagePage("no_dev_page_", "no_dev_img_", QStringLiteral(":/res/imgs/no_device.png"),
                             "no_dev_label_", QCoreApplication::translate("MainWindowUI", "no camerar, please goto marqet."),
                             "goto_marqet_btn_", QCoreApplication::translate("MainWindowUI", "MarqetStore"),
                             &StatePages::storeClicked));
}

void StatePages::showLogin()
{
    if (!m_loginView) {
        m_loginSide = new QWidget(this);
        m_loginSide->setObjectName(QStringLiteral("login_side_"));
        auto* logo = new QLabel(m_loginSide);
        logo->setObjectName(QStringLiteral("login_logo_"));
        logo->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/hovia.png")));
        auto* title = new QLabel(QCoreApplication::translate("MainWindowUI", "Smart Camera"), m_loginSide);
        title->setObjectName(QStringLiteral("login_title_"));
        auto* sideLayout = new QVBoxLayout(m_loginSide);
        sideLayout->addStretch(1);
        sideLayout->addWidget(logo, 0, Qt::AlignHCenter);
        sideLayout->addWidget(title, 0, Qt::AlignHCenter);
        sideLayout->addStretch(1);

        m_loginView = new MCefWebView(m_window);
        m_loginView->setObjectName(QStringLiteral("login_view_"));
        m_loginView->setWindowFlags(m_loginView->windowFlags() | Qt::FramelessWindowHint);
        m_loginView->setFixedSize(440, 570);
        m_layout->addWidget(m_loginSide, 1);
        m_layout->addWidget(m_loginView, 0, Qt::AlignVCenter);
    }
    m_layout->setContentsMargins(0, 30, 80, 30);
    m_loginSide->show();
    m_loginView->show();
}

void StatePages::hideLogin()
{
    if (m_loginView)
        m_loginView->hide();
    if (m_loginSide)
        m_loginSide->hide();
}
