#pragma once

#include <QRect>
#include <QWidget>

class QLabel;
class QPushButton;

// The drawn title bar of a frameless window (height 30): icon, title and the
// minimise, restore, maximise and close buttons. Maximise and restore are done
// here; minimise and close are only announced.
class TitleBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Height = 30;

    explicit TitleBar(QWidget* parent = nullptr);

    // 0: minimise and close; 1: minimise, maximise/restore and close (the
    // resizable window); 2: close only.
    void setButtonState(int state);
    int buttonState() const { return m_state; }

    void setTitle(const QString& title);
    // Places w at the right end of the title, before the window buttons
    // (the main window's user card).
    void addTrailingWidget(QWidget* w);
    QString title() const;

    // The window is maximised by this bar (restore is the shown button).
    bool isMaximized() const { return m_maximized; }
    QRect restoreGeometry() const { return m_restoreGeometry; }

signals:
    void minButtonClicked();
    void restoreButtonClicked();
    void maxButtonClicked();
    void closeButtonClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private slots:
    void onButtonMinClicked();
    void onButtonRestoreClicked();
    void onButtonMaxClicked();
    void onButtonCloseClicked();

private:
    void retranslate();
    void updateButtons();

    QLabel* m_icon;
    QLabel* m_title;
    QWidget* m_vertLine;
    QPushButton* m_minBtn;
    QPushButton* m_restoreBtn;
    QPushButton* m_maxBtn;
    QPushButton* m_closeBtn;
    int m_state = 1;
    bool m_maximized = false;
    QRect m_restoreGeometry;
};
