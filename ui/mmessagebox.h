#pragma once

#include <QWidget>

class QEventLoop;
class QLabel;
class QPushButton;
class QTextEdit;

// The frameless confirmation box. exec() shows it and runs a local event loop
// until OK (1) or Cancel / close (0).
class MMessageBox : public QWidget
{
    Q_OBJECT
public:
    explicit MMessageBox(QWidget* parent = nullptr);
    ~MMessageBox() override;

    int exec(const QString& title, const QString& text, bool okOnly = false);

    bool isRunning() const { return m_loop != nullptr; }

public slots:
    void accept();
    void reject();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void finish(int result);
    void retranslate();

    QWidget* m_window;
    QLabel* m_title;
    QPushButton* m_close;
    QTextEdit* m_body;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QEventLoop* m_loop = nullptr;
};
