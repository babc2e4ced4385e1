#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>

class VuCameraClient;
class VuCameraWidget;

// The tiles of the camera grid (`right_frame`): one tile per camera, the
// selected room's tiles in pages of pageMode x pageMode cells, placeholders
// (`empty_camera`) for the empty cells, and one tile alone in full screen.
// The page shown is the one of the anchor tile (the first tile of the page,
// or the full-screen tile).
class CameraGrid : public QWidget
{
    Q_OBJECT
public:
    static constexpr int TileBarHeight = 30; // the tile's top bar, above the 16:9 picture
    static constexpr int TileSpacing = 6;

    using TileFactory = std::function<VuCameraWidget*(VuCameraClient*, QWidget*)>;
    // pageMode: 0 (none chosen yet), 1, 2 or 3. area: the size the cells
    // share, whether or not the layouts have caught up with the window yet.
    CameraGrid(int pageMode, TileFactory factory, std::function<QSize()> area, QWidget* parent);
    ~CameraGrid() override;

    // The cells of a page of pageMode x pageMode slots in an area of the
    // given size, slot by slot, relative to the area.
    static QList<QRect> cellGeometry(const QSize& area, int pageMode);

    // A new, hidden tile for the camera, at the end.
    VuCameraWidget* addTile(VuCameraClient* cam);
    // Drops the tile from the grid (the caller lets it go).
    void forgetTile(VuCameraWidget* tile);
    VuCameraWidget* tileOf(VuCameraClient* cam) const;

    QList<VuCameraWidget*> allTiles() const { return m_allTiles; }
    QList<VuCameraWidget*> roomTiles() const { return m_roomTiles; }
    QList<VuCameraWidget*> shownTiles() const { return m_shownTiles; }
    QList<QWidget*> placeholders() const { return m_placeholders; }
    VuCameraWidget* anchorTile() const { return m_anchorTile; }
    VuCameraWidget* fullscreenTile() const { return m_fullscreenTile; }
    bool isFullscreen() const { return !m_fullscreenTile.isNull(); }

    // The tiles of the selected room, in grid order; the anchor stays only
    // when it is one of them. layoutPage() shows them.
    void setRoomTiles(const QList<VuCameraWidget*>& tiles);
    // Back to the first page at the next layout.
    void clearAnchor() { m_anchorTile = nullptr; }

    int pageMode() const { return m_pageMode; }
    void setPageMode(int mode) { m_pageMode = mode; }
    // Cells per page: pageMode x pageMode (1 while none is chosen).
    int pageSize() const;
    int currentPage() const; // 0-based
    int pageCount() const;
    // As the page selector's change to page (1-based).
    void onPageViewChanged(int page);
    // As the keys or the camera list (0-based); in full screen the next tile
    // takes the screen.
    void goToPage(int page);

    // Places the tiles and placeholders of the current page; laidOut follows.
    void layoutPage();
    // Places them again in the area (the window was resized).
    void placeTiles();
    // Starts every stopped tile of the page.
    void playAllShown();

    // The tile alone on the page in grid mode 1; the mode before is kept.
    void showFullscreen(VuCameraWidget* tile);
    // The full-screen tile back to a grid tile (the page is not laid out).
    void endFullscreen();
    // The mode before full screen again; whether it changed.
    bool restorePageMode();

signals:
    // A tile's full-screen buttons.
    void tileEnterFullscreen(VuCameraWidget* tile);
    void tileLeaveFullscreen();
    // A page was laid out: this one (0-based).
    void laidOut(int page);

private:
    TileFactory m_tileFactory;
    std::function<QSize()> m_area;
    QList<VuCameraWidget*> m_allTiles;
    QList<VuCameraWidget*> m_roomTiles;
    QList<VuCameraWidget*> m_shownTiles;
    QList<QWidget*> m_placeholders;
    QPointer<VuCameraWidget> m_anchorTile;
    QPointer<VuCameraWidget> m_fullscreenTile;
    int m_pageMode = 0;
    int m_savedPageMode = 0;
};
