#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class VuCameraWidget;

// The left bar of the camera grid (`left_bar_`, 120 wide): "N cameras, M
// online" (`camera_count_`) over the list of the selected room's cameras
// (`camera_list_item_`, checked while on the shown page, property "online").
class CameraListBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Width = 120;

    explicit CameraListBar(QWidget* parent);

    // The room's tiles in grid order; those of shown are on the page.
    void setCameras(const QList<VuCameraWidget*>& roomTiles, const QList<VuCameraWidget*>& shown);

signals:
    // The camera at this index of the room's tiles was clicked.
    void cameraClicked(int index);

private:
    QLabel* m_count;
    QWidget* m_list; // the scrolled content holding the items
};
