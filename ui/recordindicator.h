#pragma once

#include <QWidget>
#include <functional>

class QTimer;

// The red dot and the time a tile has been recording, shown in its corner
// while it records.
class RecordIndicator : public QWidget
{
    Q_OBJECT
public:
    // Milliseconds of a clock that never runs backwards; the steady clock
    // unless a test drives time itself.
    using Clock = std::function<qint64()>;
    explicit RecordIndicator(QWidget* parent = nullptr, Clock clock = Clock());

    // Shows the indicator from 00:00; stop() hides it.
    void start();
    void stop();
    bool isRunning() const;
    // "REC mm:ss" (h:mm:ss from the first hour on), as shown.
    QString text() const { return m_text; }
    static QString elapsedText(qint64 ms);
    // Brings the text up to the clock (its timer does so twice a second).
    void refresh();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    Clock m_clock;
    QTimer* m_timer;
    qint64 m_startMs = 0;
    QString m_text;
};
