#pragma once

#include <QLabel>

class QTimer;

// A label that cycles a numbered image sequence: prefix + index + suffix.
class ImagesLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ImagesLabel(QWidget* parent = nullptr);

    // Shows prefix + suffix at once, then one image per interval:
    // prefix + 0 + suffix ... prefix + (count - 1) + suffix, and round again.
    // An interval below 1 stops the timer; a count below 1 stops it and hides
    // the label.
    void start(int interval, const QString& prefix, const QString& suffix, int count);
    void stop();
    // Started and not stopped (the timer rests while the label is hidden).
    bool isRunning() const;
    bool isTicking() const;
    int currentIndex() const { return m_index; }

public slots:
    void onTimeOut();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void showImage(const QString& path);

    QTimer* m_timer;
    QString m_prefix;
    QString m_suffix;
    int m_count = 0;
    int m_index = -1;
    int m_interval = 0;
    bool m_running = false;
};
