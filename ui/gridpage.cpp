#include "ui/gridpage.h"

#include "core/appinfo.h"
#include "client/vucameraclient.h"
#include "ui/cameralistbar.h"
#include "ui/gridbottombar.h"
#include "ui/roomlistbar.h"
#include "ui/vucamerawidget.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
const QString kSettings = QStringLiteral("settings");
const QString kPageMode = QStringLiteral("page_mode");
} // namespace

GridPage::GridPage(int pageMode, const QString& userId, CameraGrid::TileFactory factory,
                   std::function<QSize()> content, QWidget* parent)
    : QWidget(parent), m_userId(userId)
{
    setObjectName(QStringLiteral("has_dev_page_"));
    setAttribute(Qt::WA_StyledBackground, true);

    m_left = new CameraListBar(this);
    m_rooms = new RoomListBar(this);
    m_rooms->setUserId(m_userId);
    // The cells share what the bars leave of the content.
    auto area = [this, content = std::move(content)]() {
        QSize a = content();
        if (!m_bottom->isHidden())
            a.rheight() -= GridBottomBar::Height;
        if (!m_rooms->isHidden())
            a.rheight() -= RoomListBar::Height;
        if (!m_left->isHidden())
            a.rwidth() -= CameraListBar::Width;
        return a;
    };
    m_grid = new CameraGrid(pageMode, std::move(factory), area, this);
    m_bottom = new GridBottomBar(pageMode, this);

    connect(m_left, &CameraListBar::cameraClicked, this, [this](int index) {
        m_grid->goToPage(index / m_grid->pageSize());
        updateNavigateBar();
    });
    connect(m_grid, &CameraGrid::laidOut, this, &GridPage::onLaidOut);
    connect(m_grid, &CameraGrid::tileEnterFullscreen, this, &GridPage::enterFullscreenWanted);
    connect(m_grid, &CameraGrid::tileLeaveFullscreen, this, &GridPage::leaveFullscreenWanted);
    connect(m_bottom, &GridBottomBar::gridModeChosen, this, &GridPage::onGridModeChosen);
    // Another room, or the same one again: the grid is filtered anew.
    connect(m_rooms, &RoomListBar::roomAllSelected, this, &GridPage::applyRoomFilter);
    connect(m_rooms, &RoomListBar::roomDefaultSelected, this, &GridPage::applyRoomFilter);
    connect(m_rooms, &RoomListBar::roomSharedSelected, this, &GridPage::applyRoomFilter);
    connect(m_rooms, &RoomListBar::roomSelected, this, &GridPage::applyRoomFilter);
    connect(m_bottom, &GridBottomBar::playAllClicked, m_grid, &CameraGrid::playAllShown);
    connect(m_bottom, &GridBottomBar::pageChosen, m_grid, &CameraGrid::onPageViewChanged);

    auto* rightLayout = new QVBoxLayout;
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    rightLayout->addWidget(m_rooms);
    rightLayout->addWidget(m_grid, 1);
    rightLayout->addWidget(m_bottom);
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(m_left);
    lay->addLayout(rightLayout, 1);
}

int GridPage::storedPageMode()
{
    const int mode = AppInfo::instance()->getInt(kSettings, kPageMode, 0);
    return (mode < 0 || mode > 3) ? 0 : mode;
}

// ---- camera list events -------------------------------------------------------

void GridPage::addCameras(const QList<VuCameraClient*>& cams)
{
    for (VuCameraClient* cam : cams) {
        if (cam && !m_grid->tileOf(cam))
            m_grid->addTile(cam);
    }
    if (m_grid->pageMode() == 0) {
        m_grid->setPageMode(m_grid->allTiles().size() > 1 ? 2 : 1);
        m_bottom->showGridMode(m_grid->pageMode());
    }
    rebuildRooms();
    updateNavigateBar();
    m_grid->layoutPage();
}

void GridPage::addCamera(VuCameraClient* cam)
{
    if (m_grid->tileOf(cam))
        return;
    VuCameraWidget* tile = m_grid->addTile(cam);
    const bool newRoom = !m_rooms->hasRoom(cam->roomName(), cam->isShared());
    if (newRoom)
        rebuildRooms();
    else
        applyRoomFilter();
    if (!tileInSelectedRoom(tile))
        qInfo("camera:%s added and it's room:%s not visibile", qUtf8Printable(cam->did()),
              qUtf8Printable(cam->roomName()));
}

void GridPage::removeCamera(VuCameraClient* cam)
{
    VuCameraWidget* tile = m_grid->tileOf(cam);
    if (!tile) {
        qWarning("camera widget not found:%s", qUtf8Printable(cam->did()));
        cam->destroy();
        return;
    }
    if (tile == m_grid->anchorTile()) {
        if (tile == m_grid->fullscreenTile()) {
            qInfo("camera wa removed! that it is fullscreen now");
            emit leaveFullscreenWanted();
        }
        m_grid->clearAnchor();
    }
    const QString room = cam->roomName();
    const bool shared = cam->isShared();
    m_grid->forgetTile(tile);
    cam->destroy();
    tile->hide();
    tile->deleteLater();

    bool roomLeft = false;
    for (VuCameraWidget* t : m_grid->allTiles()) {
        VuCameraClient* c = t->client();
        if (c && c->roomName() == room && c->isShared() == shared) {
            roomLeft = true;
            break;
        }
    }
    if (!roomLeft && m_rooms->hasRoom(room, shared))
        m_rooms->removeRoom(room, shared);
    // The grid closes the gap the tile left, whichever room is shown.
    applyRoomFilter();
}

// ---- rooms --------------------------------------------------------------------

void GridPage::rebuildRooms()
{
    QStringList names;
    QStringList icons;
    bool hasDefault = false;
    bool hasShared = false;
    for (VuCameraWidget* t : m_grid->allTiles()) {
        VuCameraClient* c = t->client();
        if (!c)
            continue;
        const QString room = c->roomName();
        if (room.isEmpty()) {
            if (c->isShared())
                hasShared = true;
            else
                hasDefault = true;
        } else if (!names.contains(room)) {
            names << room;
            icons << c->roomIcon();
        }
    }
    m_rooms->setUserId(m_userId);
    m_rooms->setRooms(names, icons, hasDefault, hasShared);
    // The bar selects its stored choice and announces it; filter in any case.
    applyRoomFilter();
}

bool GridPage::tileInSelectedRoom(VuCameraWidget* tile) const
{
    VuCameraClient* c = tile->client();
    if (!c)
        return false;
    switch (m_rooms->currentKind()) {
    case RoomListBar::Named:
        return c->roomName() == m_rooms->currentName();
    case RoomListBar::Default:
        return c->roomName().isEmpty() && !c->isShared();
    case RoomListBar::Shared:
        return c->isShared();
    default:
        return true;
    }
}

void GridPage::selectAllRooms()
{
    if (!m_rooms->selectAll())
        applyRoomFilter();
}

void GridPage::applyRoomFilter()
{
    QList<VuCameraWidget*> tiles;
    for (VuCameraWidget* t : m_grid->allTiles()) {
        if (tileInSelectedRoom(t))
            tiles.append(t);
    }
    m_grid->setRoomTiles(tiles);
    updateNavigateBar();
    m_grid->layoutPage();
}

// ---- grid ---------------------------------------------------------------------

void GridPage::updateNavigateBar()
{
    m_bottom->showPages(qMax(1, m_grid->pageCount()), m_grid->currentPage() + 1);
}

void GridPage::onLaidOut(int page)
{
    m_bottom->showCurrentPage(page + 1);
    // The camera list of the left bar follows the room and the page.
    m_left->setCameras(m_grid->roomTiles(), m_grid->shownTiles());
}

void GridPage::onGridModeChosen(int index)
{
    if (index < 0 || index > 2)
        return;
    m_grid->setPageMode(index + 1);
    AppInfo::instance()->setInt(kSettings, kPageMode, m_grid->pageMode());
    updateNavigateBar();
    m_grid->layoutPage();
}

void GridPage::chooseGridMode(int index)
{
    m_bottom->chooseGridMode(index);
}

// ---- full screen ------------------------------------------------------------------

void GridPage::setBarsShown(bool shown)
{
    m_left->setVisible(shown);
    m_rooms->setVisible(shown);
    m_bottom->setVisible(shown);
}

void GridPage::showFullscreen(VuCameraWidget* tile)
{
    m_grid->showFullscreen(tile);
    m_bottom->showGridMode(1);
    updateNavigateBar();
    m_grid->layoutPage();
}

void GridPage::endFullscreen()
{
    m_grid->endFullscreen();
}

void GridPage::restoreGridMode()
{
    if (m_grid->restorePageMode())
        m_bottom->showGridMode(m_grid->pageMode());
    updateNavigateBar();
    m_grid->layoutPage();
}
