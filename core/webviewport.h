#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QUrl>

class QObject;

// What the account code needs of the embedded web view, without knowing that
// the view is a widget. The sign-in driver lives on the account thread and
// must not include widget headers; the browser layer implements this port on
// its view and makes every operation safe to call from any thread (the calls
// are carried over to the GUI thread, where the browser engine lives).
//
// signalSource() is the object that emits the view's notifications, connected
// by signature (they reach a receiver on another thread queued):
//   inited()  loadStarted()  loadFinished(int)  titleChanged(QString)
//   urlChanged(QUrl)  navStateChanged(bool,bool)
class WebViewPort
{
public:
    virtual ~WebViewPort() = default;

    virtual QObject* signalSource() = 0;
    // Shows url in the main frame (or keeps it until the browser exists).
    virtual void load(const QUrl& url) = 0;
    // The main frame's current address; blocks until the GUI thread answers
    // (an empty URL when it cannot, e.g. during shutdown).
    virtual QUrl url() = 0;
    // Script run in every page of the main frame when it starts and ends loading.
    virtual void registerScript(const QString& script) = 0;
    // Runs script once in the current page of the main frame.
    virtual void runScript(const QString& script) = 0;
    // The browser's cookies that would be sent to url, HttpOnly ones included;
    // blocks like url().
    virtual QList<QNetworkCookie> urlCookies(const QUrl& url) = 0;
};

#include <QMetaType>
Q_DECLARE_METATYPE(WebViewPort*)
