#include "ui/vucamerawidgetui.h"
#include "ui/respixmap.h"

#include "ui/mlabel.h"
#include "ui/motorcontrolwidget.h"
#include "ui/pincodewidget.h"
#include "ui/recordindicator.h"
#include "ui/statusinfoframe.h"
#include "ui/timelinetoolswidget.h"
#include "ui/videolabel.h"
#include "ui/videosolutioncombobox.h"
#include "ui/vuantimationwidget.h"

#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kBarHeight = 30;
constexpr int kPadMargin = 8; // between the pan/tilt pad and the picture's right edge
const char* const kStateNames[] = {
    "unknown",    "reading properties", "stopped",       "stopped 4 sleep",
    "stopped 4 error", "pincode",       "authing",       "connecting",
    "disconnecting", "waiting for playing", "playing",   "offline",
};

QPushButton* barButton(const char* name, QWidget* parent)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}
} // namespace

const char* VuCameraWidgetUI::stateName(int state)
{
    return state >= 0 && state <= Offline ? kStateNames[state] : "invalid";
}

VuCameraWidgetUI::VuCameraWidgetUI(QWidget* tile, const QString& did, bool isV4, bool sdcardReady,
                                   int quality, const TileTimings& timings)
    : QObject(tile), m_tile(tile), m_did(did), m_isV4(isV4), m_sdcardReady(sdcardReady)
{
    const QString v4 = isV4 ? QStringLiteral("_v4") : QString();

    m_grid = new QGridLayout(tile);
    // The layout holds the top bar and, under it, the overlays of the resting
    // states. The picture, the pan/tilt pad, the timeline and the sliding
    // bottom bar are placed by relayout(): the picture fills everything under
    // the top bar (16:9 in a grid cell), the others lie over it.
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setSpacing(0);

    // Top bar: name, time stamp, speed, online/offline flag.
    m_topBar = new QFrame(tile);
    m_topBar->setObjectName(QStringLiteral("play_top_bar_"));
    m_topBar->setFixedHeight(kBarHeight);
    auto* top = new QHBoxLayout(m_topBar);
    top->setContentsMargins(8, 0, 8, 0);
    top->setSpacing(8);
    m_name = new QLabel(m_topBar);
    m_name->setObjectName(QStringLiteral("cam_name_label_"));
    // The name takes what the others leave and is elided to it.
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_name->installEventFilter(this);
    m_timeStamp = new QLabel(m_topBar);
    m_timeStamp->setObjectName(QStringLiteral("time_stamp_label_"));
    m_speed = new QLabel(m_topBar);
    m_speed->setObjectName(QStringLiteral("speed_label_"));
    m_onlineFlag = new QLabel(m_topBar);
    m_onlineFlag->setObjectName(QStringLiteral("online_flag_"));
    m_offlineFlag = new QLabel(m_topBar);
    m_offlineFlag->setObjectName(QStringLiteral("offline_flag_"));
    top->addWidget(m_name, 1);
    top->addWidget(m_timeStamp);
    top->addWidget(m_speed);
    top->addWidget(m_onlineFlag);
    top->addWidget(m_offlineFlag);
    m_grid->addWidget(m_topBar, 0, 0);
    m_topBar->show(); // the tile may already be visible

    // The shared cell: video, the status frame and the overlays.
    m_video = new VideoLabel(tile);
    m_video->setObjectName(QStringLiteral("video_label_"));
    m_video->setAlignment(Qt::AlignCenter);
    m_video->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_video->setMinimumSize(1, 1);

    m_status = new StatusInfoFrame(tile);
    m_grid->addWidget(m_status, 1, 0);

    m_stoppedOverlay = makeOverlay();
    m_playBtn = new QPushButton(m_stoppedOverlay);
    m_playBtn->setObjectName(QStringLiteral("play_btn_"));
    m_playBtn->setCursor(Qt::PointingHandCursor);
    m_playBtn->setFocusPolicy(Qt::NoFocus);
    static_cast<QVBoxLayout*>(m_stoppedOverlay->layout())->addWidget(m_playBtn, 0, Qt::AlignCenter);
    static_cast<QVBoxLayout*>(m_stoppedOverlay->layout())->addStretch();
    connect(m_playBtn, &QPushButton::clicked, this, &VuCameraWidgetUI::playTriggered);

    m_sleepOverlay = makeOverlay();
    {
        auto* lay = static_cast<QVBoxLayout*>(m_sleepOverlay->layout());
        m_sleepImage = new QLabel(m_sleepOverlay);
        m_sleepImage->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/state_sequencen_sleep") + v4
                                        + QStringLiteral(".png")));
        m_sleepImage->setAlignment(Qt::AlignCenter);
        m_sleepText = makeStateText(m_sleepOverlay);
        m_wakeBtn = new QPushButton(m_sleepOverlay);
        m_wakeBtn->setObjectName(QStringLiteral("wakeup_btn_"));
        m_wakeBtn->setCursor(Qt::PointingHandCursor);
        m_wakeBtn->setFocusPolicy(Qt::NoFocus);
        lay->addWidget(m_sleepImage, 0, Qt::AlignCenter);
        lay->addWidget(m_sleepText, 0, Qt::AlignCenter);
        lay->addWidget(m_wakeBtn, 0, Qt::AlignCenter);
        lay->addStretch();
        connect(m_wakeBtn, &QPushButton::clicked, this, &VuCameraWidgetUI::powerOnTriggered);
    }

    m_errorOverlay = makeOverlay();
    {
        auto* lay = static_cast<QVBoxLayout*>(m_errorOverlay->layout());
        m_errorImage = new MLabel(m_errorOverlay);
        m_errorImage->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/state_sequencen_fail") + v4
                                        + QStringLiteral(".png")));
        m_errorImage->setAlignment(Qt::AlignCenter);
        m_errorImage->setCursor(Qt::PointingHandCursor);
        m_errorText = makeStateText(m_errorOverlay);
        m_retryLabel = new MLabel(m_errorOverlay);
        m_retryLabel->setObjectName(QStringLiteral("retry_label_"));
        m_retryLabel->setCursor(Qt::PointingHandCursor);
        lay->addWidget(m_errorImage, 0, Qt::AlignCenter);
        lay->addWidget(m_errorText, 0, Qt::AlignCenter);
        lay->addWidget(m_retryLabel, 0, Qt::AlignCenter);
        lay->addStretch();
        connect(m_errorImage, &MLabel::Clicked, this, &VuCameraWidgetUI::retryTriggered);
        connect(m_retryLabel, &MLabel::Clicked, this, &VuCameraWidgetUI::retryTriggered);
    }

    m_loadingOverlay = makeOverlay();
    {
        auto* lay = static_cast<QVBoxLayout*>(m_loadingOverlay->layout());
        m_loadingAnim = new VuAntimationWidget(m_loadingOverlay);
        m_loadingAnim->setImages(isV4 ? QStringLiteral(":res/gif/camera_v4_icon_loading_")
                                      : QStringLiteral(":res/gif/camera_icon_loading_nor_"),
                                 QStringLiteral(".png"), 26);
        m_loadingAnim->setInterval(50);
        m_loadingAnim->setAlignment(Qt::AlignCenter);
        m_loadingText = makeStateText(m_loadingOverlay);
        lay->addWidget(m_loadingAnim, 0, Qt::AlignCenter);
        lay->addWidget(m_loadingText, 0, Qt::AlignCenter);
        lay->addStretch();
    }

    m_offlineOverlay = makeOverlay();
    {
        auto* lay = static_cast<QVBoxLayout*>(m_offlineOverlay->layout());
        m_offlineText = makeStateText(m_offlineOverlay);
        lay->addWidget(m_offlineText, 0, Qt::AlignCenter);
        lay->addStretch();
    }

    m_pinWidget = new PinCodeWidget(tile);
    m_pinWidget->hide();
    m_grid->addWidget(m_pinWidget, 1, 0);
    connect(m_pinWidget, &PinCodeWidget::onPinCodeChanged, this, &VuCameraWidgetUI::onPinCodeInput);

    m_motor = new MotorControlWidget(tile, timings.motorRepeatMs);
    m_motor->hide();
    // The pad shows while the pointer is over the tile: the rest of the time
    // the whole picture is in sight (and is not painted over twenty times a
    // second).
    m_pointerInside = tile->underMouse();
    tile->installEventFilter(this);
    connect(m_motor, &MotorControlWidget::motorDirectionTiggered, this,
            &VuCameraWidgetUI::motorDirectionTiggered);

    m_snapshotLabel = new QLabel(tile);
    m_snapshotLabel->setObjectName(QStringLiteral("snapshot_label_"));
    m_snapshotLabel->hide();
    m_grid->addWidget(m_snapshotLabel, 1, 0, Qt::AlignLeft | Qt::AlignTop);
    m_recordIndicator = new RecordIndicator(tile);
    m_grid->addWidget(m_recordIndicator, 1, 0, Qt::AlignRight | Qt::AlignTop);

    m_timeLine = new TimeLineToolsWidget(tile);
    m_timeLine->hide();
    m_grid->setRowStretch(1, 1);

    // Bottom bar: outside the layout, slides in over the picture's bottom.
    m_bottomBar = new QFrame(tile);
    m_bottomBar->setObjectName(QStringLiteral("play_bottom_bar_"));
    auto* bar = new QHBoxLayout(m_bottomBar); // margins and gaps: fitBottomBar()
    m_stopBtn = barButton("stop_play_btn_", m_bottomBar);
    m_quality = new VideoSolutionCombobox(m_bottomBar);
    m_quality->setCurrentQuality(quality);
    m_soundOnBtn = barButton("sound_on_btn_", m_bottomBar);
    m_soundOffBtn = barButton("sound_off_btn_", m_bottomBar);
    m_snapshotBtn = barButton("snapshot_btn_", m_bottomBar);
    m_recordBtn = barButton("record_btn_", m_bottomBar);
    m_recordBtn->setIcon(QIcon(QStringLiteral(":/res/imgs/btn_record.png")));
    m_sleepBtn = barButton("sleep_btn_", m_bottomBar);
    m_fullBtn = barButton("fullscreen_btn_", m_bottomBar);
    m_exitFullBtn = barButton("exit_fullscreen_btn_", m_bottomBar);
    bar->addWidget(m_stopBtn);
    bar->addWidget(m_quality);
    bar->addWidget(m_soundOnBtn);
    bar->addWidget(m_soundOffBtn);
    bar->addWidget(m_snapshotBtn);
    bar->addWidget(m_recordBtn);
    bar->addWidget(m_sleepBtn);
    bar->addStretch();
    bar->addWidget(m_fullBtn);
    bar->addWidget(m_exitFullBtn);
    m_exitFullBtn->hide();
    updateSoundButtons();
    m_bottomBar->setGeometry(barRect(false));
    m_bottomBar->hide();
    m_video->addOpaqueCover(m_bottomBar);
    m_barAnim = new QPropertyAnimation(m_bottomBar, "geometry", this);
    m_barAnim->setDuration(timings.barSlideMs);
    connect(m_barAnim, &QPropertyAnimation::finished, this, [this]() {
        if (!m_barShown)
            m_bottomBar->hide();
    });

    connect(m_stopBtn, &QPushButton::clicked, this, &VuCameraWidgetUI::stopPlayTriggered);
    connect(m_quality, &VideoSolutionCombobox::currentQualityChanged, this,
            &VuCameraWidgetUI::qualityChanged);
    connect(m_soundOnBtn, &QPushButton::clicked, this, [this]() {
        m_soundOn = true;
        updateSoundButtons();
        emit soundOnTriggered();
    });
    connect(m_soundOffBtn, &QPushButton::clicked, this, [this]() {
        m_soundOn = false;
        updateSoundButtons();
        emit soundOffTriggered();
    });
    connect(m_snapshotBtn, &QPushButton::clicked, this, &VuCameraWidgetUI::snapshotTriggered);
    connect(m_recordBtn, &QPushButton::clicked, this, &VuCameraWidgetUI::recordTriggered);
    connect(m_sleepBtn, &QPushButton::clicked, this, &VuCameraWidgetUI::powerOffTriggered);
    connect(m_fullBtn, &QPushButton::clicked, this, [this]() {
        setFullscreenShown(true);
        emit enterFullscreen();
    });
    connect(m_exitFullBtn, &QPushButton::clicked, this, [this]() {
        setFullscreenShown(false);
        emit leaveFullscreen();
    });

    retranslate();
    // Nothing of a state is visible until the first setState().
    for (QWidget* w : {static_cast<QWidget*>(m_video), static_cast<QWidget*>(m_speed),
                       static_cast<QWidget*>(m_offlineFlag)})
        w->hide();
}

VuCameraWidgetUI::~VuCameraWidgetUI() = default;

QFrame* VuCameraWidgetUI::makeOverlay()
{
    auto* f = new QFrame(m_tile);
    f->setObjectName(QStringLiteral("overlay_frame_"));
    auto* lay = new QVBoxLayout(f);
    lay->setSpacing(8);
    lay->addStretch();
    f->hide();
    m_grid->addWidget(f, 1, 0);
    return f;
}

QLabel* VuCameraWidgetUI::makeStateText(QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("state_text_label_"));
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    return l;
}

void VuCameraWidgetUI::retranslate()
{
    m_onlineFlag->setText(tr("online"));
    m_offlineFlag->setText(tr("offline"));
    m_playBtn->setToolTip(tr("Play"));
    m_sleepText->setText(tr("Camera is sleep"));
    m_wakeBtn->setText(tr("wakeup"));
    m_retryLabel->setText(tr("Click to retry"));
    m_offlineText->setText(tr("Offline"));
    m_stopBtn->setToolTip(tr("Stop Play"));
    m_soundOnBtn->setToolTip(tr("AudioOn"));
    m_soundOffBtn->setToolTip(tr("AudioOff"));
    m_fullBtn->setToolTip(tr("FullScreen"));
    m_exitFullBtn->setToolTip(tr("ExitFullScreen"));
    m_snapshotBtn->setText(tr("Snapshot"));
    m_snapshotBtn->setToolTip(tr("Snapshot"));
    setRecordText(isRecording());
    m_recordBtn->setToolTip(tr("Record to a video file (R)"));
    m_sleepBtn->setText(tr("Sleep"));
    m_sleepBtn->setToolTip(tr("Sleep"));
    m_loadingText->setText(loadingText(m_state));
}

QString VuCameraWidgetUI::loadingText(int state) const
{
    switch (state) {
    case ReadingProperties: return tr("Reading properties...");
    case Authing: return tr("Authing pincode...");
    case Connecting: return tr("Establishing a safe connection...");
    case Disconnecting: return tr("Disconnecting...");
    case WaitingForPlaying: return tr("Preparing to play...");
    default: return QString();
    }
}

QWidget* VuCameraWidgetUI::overlay(int state) const
{
    switch (state) {
    case ReadingProperties:
    case Authing:
    case Connecting:
    case Disconnecting:
    case WaitingForPlaying: return m_loadingOverlay;
    case Stopped: return m_stoppedOverlay;
    case StoppedForSleep: return m_sleepOverlay;
    case StoppedForError: return m_errorOverlay;
    case Pincode: return m_pinWidget;
    case Offline: return m_offlineOverlay;
    default: return nullptr;
    }
}

void VuCameraWidgetUI::setState(int state)
{
    if (state == m_state || state < Unknown || state > Offline)
        return;
    qInfo("camera %s: ui state from \"%s\" to \"%s\"", qPrintable(m_did), stateName(m_state),
          stateName(state));
    const int previous = m_state;
    m_state = state;

    QWidget* shown = overlay(state);
    for (QWidget* w : {static_cast<QWidget*>(m_loadingOverlay), static_cast<QWidget*>(m_stoppedOverlay),
                       static_cast<QWidget*>(m_sleepOverlay), static_cast<QWidget*>(m_errorOverlay),
                       static_cast<QWidget*>(m_pinWidget), static_cast<QWidget*>(m_offlineOverlay)}) {
        if (w != shown)
            w->hide();
    }
    if (shown == m_loadingOverlay) {
        m_loadingText->setText(loadingText(state));
        m_loadingAnim->start();
    } else {
        m_loadingAnim->stop();
    }
    if (shown == m_pinWidget)
        m_pinWidget->reset();
    if (shown)
        shown->show();

    const bool playing = state == Playing;
    m_video->setVisible(playing);
    m_speed->setVisible(playing);
    updatePad();
    updateTimeline();
    m_onlineFlag->setVisible(state != Offline);
    m_offlineFlag->setVisible(state == Offline);
    if (!playing) {
        hideBuffering();
        m_speed->clear();
        clearTimeStamp();
        m_snapshotLabel->hide();
        setRecording(false);
    }
    if (playing)
        slideBottomBar(true);
    else if (previous == Playing)
        slideBottomBar(false);
}

void VuCameraWidgetUI::setName(const QString& name)
{
    m_fullName = name;
    m_name->setToolTip(name);
    elideName();
}

void VuCameraWidgetUI::elideName()
{
    const int width = m_name->contentsRect().width();
    m_name->setText(m_name->fontMetrics().elidedText(m_fullName, Qt::ElideRight, qMax(0, width)));
}

bool VuCameraWidgetUI::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_name && (e->type() == QEvent::Resize || e->type() == QEvent::FontChange))
        elideName();
    if (watched == m_tile && (e->type() == QEvent::Enter || e->type() == QEvent::Leave)) {
        m_pointerInside = e->type() == QEvent::Enter;
        updatePad();
    }
    return QObject::eventFilter(watched, e);
}

void VuCameraWidgetUI::updatePad()
{
    // A held button keeps the pad until it is let go.
    m_motor->setVisible(m_state == Playing && (m_pointerInside || m_motor->heldDirection() != 0));
}

void VuCameraWidgetUI::setBackground(const QString& image)
{
    // Overlays carry the picture as border image; the style sheet names the
    // same picture, this keeps the tile right without the sheet.
    const QString css = QStringLiteral("#overlay_frame_, #pincode_widget_ { border-image: url(%1); }").arg(image);
    for (QWidget* w : {static_cast<QWidget*>(m_loadingOverlay), static_cast<QWidget*>(m_stoppedOverlay),
                       static_cast<QWidget*>(m_sleepOverlay), static_cast<QWidget*>(m_errorOverlay),
                       static_cast<QWidget*>(m_pinWidget), static_cast<QWidget*>(m_offlineOverlay)})
        w->setStyleSheet(css);
}

void VuCameraWidgetUI::setSdcardReady(bool ready)
{
    m_sdcardReady = ready;
    updateTimeline();
}

void VuCameraWidgetUI::setRecordings(const QVector<RecordFileHeader>& headers)
{
    m_timeLine->updateFileHeaders(headers);
    updateTimeline();
}

int VuCameraWidgetUI::quality() const { return m_quality->currentQuality(); }

QRect VuCameraWidgetUI::pictureRect() const
{
    return QRect(0, kBarHeight, m_tile->width(), qMax(0, m_tile->height() - kBarHeight));
}

QSize VuCameraWidgetUI::videoSize() const { return pictureRect().size(); }

void VuCameraWidgetUI::showFrame(const QPixmap& picture, quint32 timestamp)
{
    m_video->setFrame(picture);
    // Twenty pictures share a second: the text (and the local-time lookup
    // behind it) changes once.
    if (m_timeStamp->isVisible() && timestamp && timestamp != m_shownStamp) {
        m_shownStamp = timestamp;
        m_timeStamp->setText(QDateTime::fromSecsSinceEpoch(timestamp).toString(
            QStringLiteral("MM/dd/yyyy hh:mm:ss")));
    }
}

void VuCameraWidgetUI::clearFrame()
{
    m_video->clearFrame();
    m_video->clear();
    clearTimeStamp();
}

void VuCameraWidgetUI::clearTimeStamp()
{
    m_timeStamp->clear();
    m_shownStamp = 0; // the next picture sets the text, whatever its second
}

void VuCameraWidgetUI::showSpeed(const QString& text)
{
    if (m_state == Playing)
        m_speed->setText(text);
}

void VuCameraWidgetUI::showBuffering()
{
    if (m_state != Playing || !m_status->isHidden())
        return;
    m_status->showInfo(tr("Buffering..."), QStringLiteral(":res/gif/state_sequencen_"),
                       QStringLiteral(".png"), 26, 50);
}

void VuCameraWidgetUI::hideBuffering() { m_status->hideInfo(); }

bool VuCameraWidgetUI::isBuffering() const
{
    return !m_status->isHidden() && m_status->text() == tr("Buffering...");
}

void VuCameraWidgetUI::showPincodeError() { m_pinWidget->showError(2000); }

void VuCameraWidgetUI::setErrorText(const QString& text) { m_errorText->setText(text); }

void VuCameraWidgetUI::showSnapshotSaved(const QString& fileName)
{
    showNote(tr("Saved %1").arg(fileName));
}

void VuCameraWidgetUI::showNote(const QString& text)
{
    m_snapshotLabel->setText(text);
    m_snapshotLabel->show();
    m_snapshotLabel->raise();
    QTimer::singleShot(3000, m_snapshotLabel, [label = m_snapshotLabel, text]() {
        if (label->text() == text)
            label->hide();
    });
}

void VuCameraWidgetUI::setRecording(bool recording)
{
    if (recording == isRecording())
        return;
    if (recording)
        m_recordIndicator->start();
    else
        m_recordIndicator->stop();
    m_recordBtn->setIcon(QIcon(recording ? QStringLiteral(":/res/imgs/btn_record_stop.png")
                                         : QStringLiteral(":/res/imgs/btn_record.png")));
    setRecordText(recording);
}

void VuCameraWidgetUI::setRecordText(bool recording)
{
    m_recordText = recording ? tr("Stop recording") : tr("Record");
    fitBottomBar();
}

void VuCameraWidgetUI::fitBottomBar()
{
    // The record button is never narrower than its icon and text: the
    // stretch of the bar gives way.
    auto* bar = static_cast<QHBoxLayout*>(m_bottomBar->layout());
    m_recordBtn->setText(m_recordText);
    m_recordBtn->ensurePolished();
    m_recordBtn->setMinimumWidth(m_recordBtn->sizeHint().width());
    bar->setContentsMargins(6, 2, 6, 2);
    bar->setSpacing(4);
    if (bar->minimumSize().width() <= m_tile->width())
        return;
    // A small tile's bar has no room for every word and gap (the buttons
    // would be squeezed over each other): the record button keeps its icon,
    // the tool tip names it, and the gaps narrow.
    m_recordBtn->setText(QString());
    m_recordBtn->setMinimumWidth(m_recordBtn->sizeHint().width());
    bar->setContentsMargins(2, 2, 2, 2);
    bar->setSpacing(1);
}

bool VuCameraWidgetUI::isRecording() const
{
    return m_recordIndicator->isRunning();
}

void VuCameraWidgetUI::setFullscreenShown(bool fullscreen)
{
    m_fullscreen = fullscreen;
    m_fullBtn->setVisible(!fullscreen);
    m_exitFullBtn->setVisible(fullscreen);
}

void VuCameraWidgetUI::onPinCodeInput(const QString& code)
{
    m_pincode = code;
    emit playTriggered();
}

void VuCameraWidgetUI::updateSoundButtons()
{
    m_soundOnBtn->setVisible(!m_soundOn);
    m_soundOffBtn->setVisible(m_soundOn);
}

QRect VuCameraWidgetUI::barRect(bool shown) const
{
    const int h = m_tile->height();
    return QRect(0, shown ? h - kBarHeight : h, m_tile->width(), kBarHeight);
}

void VuCameraWidgetUI::slideBottomBar(bool in)
{
    if (m_barAnim->state() == QAbstractAnimation::Running) {
        if (m_barSlidingIn == in)
            return;
        qInfo("bottom bar is showing or hiding");
        m_barAnim->stop();
    }
    m_barShown = in;
    m_barSlidingIn = in;
    m_bottomBar->show();
    m_bottomBar->raise();
    m_barAnim->setStartValue(m_bottomBar->geometry());
    m_barAnim->setEndValue(barRect(in));
    m_barAnim->start();
}

void VuCameraWidgetUI::updateTimeline()
{
    // In a small tile the timeline would cover too much of the picture; it
    // shows once the tile is large enough (or full screen), and only when the
    // card has recordings: a bare axis would only hide the picture.
    const bool shown = m_state == Playing && m_sdcardReady && m_timeLine->hasRecordings()
                       && m_tile->height() >= TimelineMinTileHeight;
    const QRect picture = pictureRect();
    const int timelineHeight = m_timeLine->sizeHint().height();
    m_timeLine->setGeometry(0, picture.bottom() + 1 - kBarHeight - timelineHeight, picture.width(),
                            timelineHeight);
    m_timeLine->setVisible(shown);
    // The pad: at the picture's right, centred in what the bottom bar and the
    // timeline leave of it.
    const QSize pad = m_motor->sizeHint();
    const int free = picture.height() - kBarHeight - (shown ? timelineHeight : 0);
    m_video->setInsetBottom(picture.height() - free); // the zoom's inset stays in sight
    m_motor->setGeometry(picture.right() + 1 - kPadMargin - pad.width(),
                         picture.top() + qMax(0, (free - pad.height()) / 2), pad.width(), pad.height());
}

void VuCameraWidgetUI::relayout()
{
    m_video->setGeometry(pictureRect());
    fitBottomBar();
    updateTimeline();
    if (m_barAnim->state() == QAbstractAnimation::Running)
        m_barAnim->setEndValue(barRect(m_barShown));
    else
        m_bottomBar->setGeometry(barRect(m_barShown));
}
