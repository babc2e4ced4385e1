#pragma once

#include <QLabel>

class QTimer;

// The tiles' loading animation: a label cycling prefix + index + suffix for
// index 0 .. count - 1 on its own timer (100 ms unless set).
class VuAntimationWidget : public QLabel
{
    Q_OBJECT
public:
    explicit VuAntimationWidget(QWidget* parent = nullptr);

    void setImages(const QString& prefix, const QString& suffix, int count);
    void setInterval(int ms);
    int interval() const;
    QString prefix() const { return m_prefix; }
    int currentIndex() const { return m_index; }

    bool isRunning() const;

public slots:
    void start();
    void stop();

private slots:
    void onTimeOut();

private:
    QTimer* m_timer;
    QString m_prefix;
    QString m_suffix;
    int m_count = 0;
    int m_index = 0;
};
