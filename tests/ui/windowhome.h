#pragma once

// The main window against the emulated home (tests/support/simhome.h), for the
// window tests and the screenshot tool: the home, the account record a previous
// sign-in kept, a shown window with a short camera list poll, and its parts.

#include "tests/support/simhome.h"

#include "core/appglobals.h"
#include "core/appinfo.h"
#include "core/credentialstore.h"
#include "client/vucameraclient.h"
#include "client/vucameralistmgr.h"
#include "sim/media/simvideofeature.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowui.h"
#include "ui/mmessagebox.h"
#include "ui/titlebar.h"
#include "ui/vucamerawidget.h"

#include <QNetworkAccessManager>
#include <QtTest>
#include <QtWidgets>
#include <memory>

class WindowHome
{
public:
    // windowhome.json, no session yet: Tester owns cam1-8 in three rooms and sees
    // cam9; cam3 sleeps, cam4 has pin code 2468, cam5 is offline; Newcomer has none.
    bool start()
    {
        QFile json(QStringLiteral(VC_SOURCE_DIR "/tests/ui/windowhome.json"));
        if (!json.open(QIODevice::ReadOnly) || !home.start(json.readAll(), SimHome::All, QString()))
            return false;
        SimVideoFeature::prefetch(*home.scenario);
        m_nam = std::make_unique<QNetworkAccessManager>();
        AppGlobals::setNetworkManager(m_nam.get());
        return true;
    }
    void stop()
    {
        AppGlobals::setNetworkManager(nullptr);
        m_nam.reset();
        home.stop();
    }

    // The record a previous sign-in kept: the next window signs in from it.
    static bool storeAccount(const QString& uid = QStringLiteral("3000000003"), const QString& name = QStringLiteral("Tester"),
                             const QString& passToken = QStringLiteral("PT-main-window-test-token"))
    {
        AppInfo::instance()->setBool(QStringLiteral("settings"), QStringLiteral("remember"), true);
        return CredentialStore::writeJson(QStringLiteral("account"),
                                          QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("uid"), uid},
                                                      {QStringLiteral("pass_token"), passToken},
                                                      {QStringLiteral("user_icon"), QString()}});
    }

    // A shown window; cameras coming and going are seen within pollMs; web
    // addresses go to urlOpener (the desktop browser when empty).
    static std::unique_ptr<MainWindow> open(int pollMs = 500, MainWindowUI::UrlOpener urlOpener = MainWindowUI::UrlOpener())
    {
        auto w = std::make_unique<MainWindow>(std::move(urlOpener));
        QObject::connect(w.get(), &MainWindow::listMgrCreated, w.get(),
                         [pollMs](VuCameraListMgr* m) { m->setPollInterval(pollMs); });
        if (w->listMgr())
            w->listMgr()->setPollInterval(pollMs);
        w->show();
        return w;
    }

    static bool waitState(MainWindow* w, int state, int ms)
    {
        return QTest::qWaitFor([&] { return w->ui()->state() == state; }, ms);
    }

    static VuCameraWidget* tile(MainWindow* w, const QString& did)
    {
        for (VuCameraWidget* t : w->ui()->allTiles()) {
            if (t->client() && t->client()->did() == did)
                return t;
        }
        return nullptr;
    }

    // Answers the next box (1 OK, 0 Cancel); the result: its text once answered.
    static std::shared_ptr<QString> answerNextBox(int answer)
    {
        auto text = std::make_shared<QString>();
        auto* timer = new QTimer(qApp);
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, text]() {
            for (QWidget* w : QApplication::allWidgets()) {
                auto* box = qobject_cast<MMessageBox*>(w);
                if (!box || !box->isRunning())
                    continue;
                timer->stop();
                timer->deleteLater();
                if (auto* body = box->findChild<QWidget*>(QStringLiteral("msg_body_")))
                    *text = body->property("plainText").toString();
                answer == 1 ? box->accept() : box->reject();
                return;
            }
        });
        timer->start();
        return text;
    }

    // The close button, confirmed: whether the window closed within 10 s.
    static bool quit(std::unique_ptr<MainWindow>& w, qint64* ms = nullptr)
    {
        QElapsedTimer t;
        t.start();
        answerNextBox(1);
        w->ui()->titleBar()->findChild<QPushButton*>(QStringLiteral("close_btn_"))->click();
        const bool closed = QTest::qWaitFor([&] { return !w->isVisible(); }, 10000);
        if (ms)
            *ms = t.elapsed();
        w.reset();
        return closed;
    }

    SimHome home;

private:
    std::unique_ptr<QNetworkAccessManager> m_nam;
};
