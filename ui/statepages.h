#pragma once

#include <QWidget>

class MCefWebView;
class QHBoxLayout;

// The area under the title bar (`content_frame_`) that shows the page of the
// window's state, one at a time: the loading animation (`loading_page_`), the
// network error page (`net_error_page_`, "Retry"), the no-camera page
// (`no_dev_page_`, the store button), the sign-in page (`login_side_` and the
// 440 x 570 web view `login_view_` at the right) or a page made by its owner
// (the camera grid). A page lives while it is shown; the sign-in view is made
// once and afterwards only hidden and shown again.
class StatePages : public QWidget
{
    Q_OBJECT
public:
    // window: the main window, parent of this area and of the sign-in view.
    explicit StatePages(QWidget* window);

    void showLoading();
    void showNetError();
    void showNoCamera();
    // Shows a page made with this widget as its parent; it is deleted with
    // deletePage().
    void showPage(QWidget* page);
    // Deletes the shown page, if any (the sign-in page is only hidden).
    void deletePage();
    QWidget* page() const { return m_page; }

    // The sign-in page; its view is made on the first call.
    void showLogin();
    void hideLogin();
    MCefWebView* loginView() const { return m_loginView; }

signals:
    void retryClicked(); // "Retry" of the network error page
    void storeClicked(); // the store button of the no-camera page

private:
    QWidget* makeMessagePage(const char* pageName, const char* imageName, const QString& image,
                             const char* labelName, const QString& text, const char* buttonName,
                             const QString& buttonText, void (StatePages::*clicked)());

    QWidget* m_window;
    QHBoxLayout* m_layout;
    QWidget* m_page = nullptr;
    MCefWebView* m_loginView = nullptr;
    QWidget* m_loginSide = nullptr;
};
