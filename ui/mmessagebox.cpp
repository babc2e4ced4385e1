#include "ui/mmessagebox.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
constexpr int ShadowMargin = 14;
constexpr int WindowWidth = 300;
constexpr int HeadHeight = 44;
constexpr int ButtonHeight = 45;
constexpr int BodyWidth = 252;
constexpr int BodyHeight = 74;

QFrame* makeLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QStringLiteral("msg_hort_line"));
    line->setFixedHeight(1);
    return line;
}
} // namespace

MMessageBox::MMessageBox(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("msg_shadow_window_"));
    setAttribute(Qt::WA_TranslucentBackground, true);
    setWindowModality(Qt::ApplicationModal);

    m_window = new QFrame(this);
    m_window->setObjectName(QStringLiteral("msg_window_"));
    auto* shadow = new QGraphicsDropShadowEffect(m_window);
    shadow->setBlurRadius(ShadowMargin * 2);
    shadow->setOffset(0, 2);
    shadow->setColor(QColor(0, 0, 0, 170));
    m_window->setGraphicsEffect(shadow);

    auto* head = new QFrame(m_window);
    head->setObjectName(QStringLiteral("msg_head_"));
    head->setFixedHeight(HeadHeight);
    m_title = new QLabel(head);
    m_title->setObjectName(QStringLiteral("msg_title_"));
    m_close = new QPushButton(head);
    m_close->setObjectName(QStringLiteral("msg_close_btn_"));
    m_close->setFocusPolicy(Qt::NoFocus);
    m_close->setFixedSize(28, 28);
    auto* headLay = new QHBoxLayout(head);
    headLay->setContentsMargins(18, 0, 10, 0);
    headLay->addWidget(m_title, 1);
    headLay->addWidget(m_close);

    m_body = new QTextEdit(m_window);
    m_body->setObjectName(QStringLiteral("msg_body_"));
    m_body->setReadOnly(true);
    m_body->setContextMenuPolicy(Qt::NoContextMenu);
    m_body->setFixedSize(BodyWidth, BodyHeight);
    m_body->setFrameShape(QFrame::NoFrame);
    m_body->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_body->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_body->setFocusPolicy(Qt::NoFocus);

    m_ok = new QPushButton(m_window);
    m_ok->setObjectName(QStringLiteral("msg_ok_btn_"));
    m_ok->setFixedHeight(ButtonHeight);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(m_window);
    m_cancel->setObjectName(QStringLiteral("msg_cancel_btn_"));
    m_cancel->setFixedHeight(ButtonHeight);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    buttons->addWidget(m_cancel, 1);
    buttons->addWidget(m_ok, 1);

    auto* lay = new QVBoxLayout(m_window);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(head);
    lay->addWidget(makeLine(m_window));
    lay->addSpacing(14);
    lay->addWidget(m_body, 0, Qt::AlignHCenter);
    lay->addSpacing(14);
    lay->addWidget(makeLine(m_window));
    lay->addLayout(buttons);

    m_window->setFixedWidth(WindowWidth);
    m_window->setFixedHeight(HeadHeight + 1 + 14 + BodyHeight + 14 + 1 + ButtonHeight);
    m_window->move(ShadowMargin, ShadowMargin);
    setFixedSize(m_window->width() + 2 * ShadowMargin, m_window->height() + 2 * ShadowMargin);

    connect(m_ok, &QPushButton::clicked, this, &MMessageBox::accept);
    connect(m_cancel, &QPushButton::clicked, this, &MMessageBox::reject);
    connect(m_close, &QPushButton::clicked, this, &MMessageBox::reject);
    retranslate();
}

MMessageBox::~MMessageBox()
{
    // Deleted while waiting (its parent went away): the caller sees Cancel.
    if (m_loop)
        m_loop->exit(0);
}

void MMessageBox::retranslate()
{
    m_close->setToolTip(tr("WindowClose"));
    m_ok->setText(tr("OK"));
    m_cancel->setText(tr("Cancel"));
}

void MMessageBox::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(e);
}

int MMessageBox::exec(const QString& title, const QString& text, bool okOnly)
{
    if (m_loop) {
        qWarning("MMessageBox::exec called while the box is already open");
        return 0;
    }
    m_title->setText(title);
    m_body->setPlainText(text);
    m_cancel->setVisible(!okOnly);
    // An OK button alone takes both lower corners.
    m_ok->setProperty("single", okOnly);
    m_ok->style()->unpolish(m_ok);
    m_ok->style()->polish(m_ok);

    // Centre on the parent's window, else on the screen.
    QRect area;
    if (parentWidget())
        area = parentWidget()->window()->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid())
        move(area.center() - QPoint(width() / 2, height() / 2));

    show();
    raise();
    activateWindow();

    QEventLoop loop;
    m_loop = &loop;
    // The box may be deleted while the loop runs (its parent went away).
    QPointer<MMessageBox> self(this);
    const int result = loop.exec(QEventLoop::DialogExec);
    if (self) {
        m_loop = nullptr;
        hide();
    }
    return result;
}

void MMessageBox::finish(int result)
{
    if (m_loop)
        m_loop->exit(result);
    else
        hide();
}

void MMessageBox::accept()
{
    finish(1);
}

void MMessageBox::reject()
{
    finish(0);
}

void MMessageBox::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

void MMessageBox::closeEvent(QCloseEvent* e)
{
    e->ignore();
    reject();
}
