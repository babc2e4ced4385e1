#include "ui/cameragrid.h"

#include "client/vucameraclient.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QLabel>

CameraGrid::CameraGrid(int pageMode, TileFactory factory, std::function<QSize()> area, QWidget* parent)
    : QWidget(parent), m_tileFactory(std::move(factory)), m_area(std::move(area)), m_pageMode(pageMode)
{
    setObjectName(QStringLiteral("right_frame"));
    setAttribute(Qt::WA_StyledBackground, true);
}

CameraGrid::~CameraGrid()
{
    // The tiles go with this widget, after this destructor: nothing of
    // theirs may reach the grid meanwhile.
    for (VuCameraWidget* t : findChildren<VuCameraWidget*>(QString(), Qt::FindDirectChildrenOnly))
        disconnect(t, nullptr, this, nullptr);
}

VuCameraWidget* CameraGrid::addTile(VuCameraClient* cam)
{
    VuCameraWidget* tile = m_tileFactory(cam, this);
    tile->hide();
    m_allTiles.append(tile);
    connect(tile, &VuCameraWidget::enterFullscreen, this, [this, tile]() { emit tileEnterFullscreen(tile); });
    connect(tile, &VuCameraWidget::leaveFullscreen, this, &CameraGrid::tileLeaveFullscreen);
    return tile;
}

void CameraGrid::forgetTile(VuCameraWidget* tile)
{
    m_roomTiles.removeAll(tile);
    m_allTiles.removeAll(tile);
    m_shownTiles.removeAll(tile);
}

VuCameraWidget* CameraGrid::tileOf(VuCameraClient* cam) const
{
    for (VuCameraWidget* t : m_allTiles) {
        if (t->client() == cam)
            return t;
    }
    return nullptr;
}

void CameraGrid::setRoomTiles(const QList<VuCameraWidget*>& tiles)
{
    m_roomTiles = tiles;
    if (m_anchorTile && !m_roomTiles.contains(m_anchorTile))
        m_anchorTile = nullptr;
}

int CameraGrid::pageSize() const
{
    return m_pageMode > 0 ? m_pageMode * m_pageMode : 1;
}

int CameraGrid::currentPage() const
{
    const int n = pageSize();
    const int index = m_anchorTile ? m_roomTiles.indexOf(m_anchorTile) : -1;
    return index < 0 ? 0 : index / n;
}

int CameraGrid::pageCount() const
{
    const int n = pageSize();
    return (m_roomTiles.size() + n - 1) / n;
}

void CameraGrid::onPageViewChanged(int page)
{
    const int n = pageSize();
    if (page - 1 == currentPage())
        return;
    if (page < 1 || (page - 1) * n >= m_roomTiles.size()) {
        qWarning("MainWindowUI::onPageViewChanged should never enter");
        return;
    }
    m_anchorTile = m_roomTiles.at((page - 1) * n);
    layoutPage();
}

void CameraGrid::goToPage(int page)
{
    if (m_roomTiles.isEmpty() || page < 0 || page >= pageCount())
        return;
    if (isFullscreen()) {
        // Paging in full screen moves the full screen on to the next camera.
        VuCameraWidget* next = m_roomTiles.at(page);
        if (next == m_fullscreenTile)
            return;
        VuCameraWidget* previous = m_fullscreenTile;
        if (previous && previous->ui())
            previous->ui()->setFullscreenShown(false);
        m_fullscreenTile = next;
        m_anchorTile = next;
        if (next->ui())
            next->ui()->setFullscreenShown(true);
        layoutPage();
        return;
    }
    onPageViewChanged(page + 1);
}

void CameraGrid::layoutPage()
{
    const int n = pageSize();
    const int page = currentPage();
    for (VuCameraWidget* t : m_shownTiles) {
        if (t != m_anchorTile)
            t->hide();
    }
    qDeleteAll(m_placeholders);
    m_placeholders.clear();
    m_shownTiles.clear();
    for (int slot = 0; slot < n; ++slot) {
        const int index = page * n + slot;
        if (index < m_roomTiles.size()) {
            m_shownTiles.append(m_roomTiles.at(index));
        } else {
            auto* empty = new QLabel(this);
            empty->setObjectName(QStringLiteral("empty_camera"));
            empty->setAttribute(Qt::WA_StyledBackground, true);
            m_placeholders.append(empty);
        }
    }
    if (m_anchorTile && !m_shownTiles.contains(m_anchorTile))
        m_anchorTile->hide();
    if (!isFullscreen())
        m_anchorTile = m_roomTiles.value(page * n, nullptr);
    placeTiles();
    // Tiles are shown once they have their size: a tile starts playing when
    // shown and asks the camera for a picture of its size.
    for (VuCameraWidget* t : m_shownTiles) {
        if (t->isHidden())
            t->show();
    }
    for (QWidget* p : m_placeholders)
        p->show();
    emit laidOut(page);
}

void CameraGrid::placeTiles()
{
    const QList<QRect> cells = cellGeometry(m_area(), m_pageMode);
    int slot = 0;
    for (VuCameraWidget* t : m_shownTiles)
        t->setGeometry(cells.value(slot++));
    for (QWidget* p : m_placeholders)
        p->setGeometry(cells.value(slot++));
}

QList<QRect> CameraGrid::cellGeometry(const QSize& area, int pageMode)
{
    const int m = pageMode > 0 ? pageMode : 1;
    int w = area.width() / m - TileSpacing;
    int h = area.height() / m - TileBarHeight - TileSpacing;
    w = qMax(0, w);
    h = qMax(0, h);
    // The largest 16:9 box, in integers so that the truncation is exact.
    if (qint64(w) * 9 >= qint64(h) * 16)
        w = int(qint64(h) * 16 / 9);
    else
        h = int(qint64(w) * 9 / 16);
    w -= w % 16;
    h -= h % 9;
    const int tileW = w;
    const int tileH = h + TileBarHeight;
    const int blockW = m * tileW + (m - 1) * TileSpacing;
    const int blockH = m * tileH + (m - 1) * TileSpacing;
    const int x0 = (area.width() - blockW) / 2;
    const int y0 = (area.height() - blockH) / 2;
    QList<QRect> cells;
    for (int k = 0; k < m * m; ++k) {
        const int row = k / m;
        const int col = k % m;
        cells << QRect(x0 + col * (tileW + TileSpacing), y0 + row * (tileH + TileSpacing), tileW, tileH);
    }
    return cells;
}

void CameraGrid::playAllShown()
{
    for (VuCameraWidget* t : m_shownTiles) {
        if (t->ui() && t->ui()->state() == VuCameraWidgetUI::Stopped)
            t->onPlayTriggered();
    }
}

// ---- full screen ------------------------------------------------------------------

void CameraGrid::showFullscreen(VuCameraWidget* tile)
{
    if (isFullscreen()) {
        if (m_fullscreenTile->ui())
            m_fullscreenTile->ui()->setFullscreenShown(false);
    } else {
        m_savedPageMode = m_pageMode;
    }
    if (tile->ui())
        tile->ui()->setFullscreenShown(true);
    m_fullscreenTile = tile;
    m_anchorTile = tile;
    m_pageMode = 1;
}

void CameraGrid::endFullscreen()
{
    VuCameraWidget* tile = m_fullscreenTile;
    m_fullscreenTile = nullptr;
    if (tile && tile->ui())
        tile->ui()->setFullscreenShown(false);
}

bool CameraGrid::restorePageMode()
{
    if (m_savedPageMode != m_pageMode && m_savedPageMode > 0) {
        m_pageMode = m_savedPageMode;
        return true;
    }
    return false;
}
