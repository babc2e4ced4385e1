#pragma once

#include <QList>
#include <QPointer>
#include <QVector>
#include <QWidget>

class QLabel;
class QPushButton;
class VuCameraClient;
class VuCameraWidget;

// The left bar of the camera grid (`left_bar_`, 120 wide): "N cameras, M
// online" (`camera_count_`) over the list of the selected room's cameras
// (`camera_list_item_`, checked while on the shown page, property "online",
// the name elided with its full text as the tool tip). The list follows its
// cameras at once: a camera going on- or offline or renamed changes its item
// and the count in place.
class CameraListBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Width = 120;

    explicit CameraListBar(QWidget* parent);

    // The room's tiles in grid order; those of shown are on the page. The
    // items are reused: only a longer or shorter list makes or drops some.
    void setCameras(const QList<VuCameraWidget*>& roomTiles, const QList<VuCameraWidget*>& shown);

    // The item of the k-th camera listed (tests, diagnostics).
    QPushButton* item(int k) const { return m_items.value(k).button; }
    QString countText() const;

signals:
    // The camera at this index of the room's tiles was clicked.
    void cameraClicked(int index);

private:
    struct Item
    {
        QPushButton* button = nullptr;
        QPointer<VuCameraClient> client;
        int tileIndex = 0;
    };
    QPushButton* makeItem();
    // Names, markers and the count from the cameras as they are now.
    void refresh();

    QLabel* m_count;
    QWidget* m_list; // the scrolled content holding the items
    QVector<Item> m_items;
    int m_total = 0;
};
