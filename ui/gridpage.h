#pragma once

#include <QList>
#include <QSize>
#include <QWidget>
#include <functional>

#include "ui/cameragrid.h"

class CameraListBar;
class GridBottomBar;
class RoomListBar;
class VuCameraClient;
class VuCameraWidget;

// The page of the signed-in user's cameras (`has_dev_page_`): the camera list
// at the left (CameraListBar), the room selector (RoomListBar) above the
// tiles (CameraGrid) and the bar under them (GridBottomBar). It turns the camera list's events into tiles and rooms,
// filters the grid by the chosen room and keeps the bars in step with the
// page shown. The window around it (its geometry in full screen, the title
// bar) is the owner's.
class GridPage : public QWidget
{
    Q_OBJECT
public:
    // pageMode: the grid mode to start with (0: none chosen yet). content:
    // the size under the title bar, whether or not the layouts caught up.
    GridPage(int pageMode, const QString& userId, CameraGrid::TileFactory factory,
             std::function<QSize()> content, QWidget* parent);

    // The grid mode the user chose last ("settings"/"page_mode"; 0 when none).
    static int storedPageMode();

    // The signed-in user, whose room choice the room bar keeps.
    void setUserId(const QString& uid) { m_userId = uid; }

    // Camera list events: a loaded list (tiles for the clients without one),
    // a camera added, a camera removed (its client is let go, also when it
    // has no tile).
    void addCameras(const QList<VuCameraClient*>& cams);
    void addCamera(VuCameraClient* cam);
    void removeCamera(VuCameraClient* cam);

    // As the chooser (index 0, 1, 2 for 1, 4, 9).
    void chooseGridMode(int index);
    void selectAllRooms();

    // Full screen of one tile, in steps around the window's own: the bars
    // go, the tile takes the page (grid mode 1); the tile gives it back, the
    // bars and the grid mode return.
    void setBarsShown(bool shown);
    void showFullscreen(VuCameraWidget* tile);
    void endFullscreen();
    void restoreGridMode();

    CameraGrid* grid() const { return m_grid; }
    CameraListBar* leftBar() const { return m_left; }
    GridBottomBar* bottomBar() const { return m_bottom; }
    RoomListBar* rooms() const { return m_rooms; }

signals:
    // A tile's full-screen buttons, and the full-screen tile leaving the account.
    void enterFullscreenWanted(VuCameraWidget* tile);
    void leaveFullscreenWanted();

private:
    void rebuildRooms();
    bool tileInSelectedRoom(VuCameraWidget* tile) const;
    void applyRoomFilter();
    void updateNavigateBar();
    void onGridModeChosen(int index);
    void onLaidOut(int page);

    CameraListBar* m_left;
    RoomListBar* m_rooms;
    CameraGrid* m_grid;
    GridBottomBar* m_bottom;
    QString m_userId;
};
