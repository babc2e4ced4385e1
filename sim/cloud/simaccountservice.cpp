#include "sim/cloud/simaccountservice.h"

#include "sim/cloud/simcloudstate.h"
#include "sim/scenario/scenario.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <httplib.h>
#include <sodium.h>

namespace {

std::string html(const QString& title, const QString& body)
{
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                          "<body>%2</body></html>")
        .arg(title, body)
        .toStdString();
}

QString escape(const QString& s)
{
    return s.toHtmlEscaped();
}

std::string cookie(const char* name, const QString& value, bool clear = false)
{
    QString c = QStringLiteral("%1=%2; Path=/; Secure; HttpOnly").arg(QLatin1String(name), value);
    if (clear)
        c += QStringLiteral("; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT");
    return c.toStdString();
}

} // namespace

QString SimAccountService::signInPageUrl() const
{
    return baseUrl() + QStringLiteral("/pass/serviceLogin?sid=passport&_json=false&passive=true&hidden=fasle&_locale=zh_CN");
}

void SimAccountService::setupRoutes(httplib::Server& server)
{
    server.Get("/pass/serviceLogin", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, false))
            return;
        if (param(req, "_json") == QLatin1String("true"))
            serviceLoginStep1(req, res);
        else
            signInPage(req, res);
    });
    server.Get("/sts", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, false))
            return;
        serviceLoginStep2(req, res);
    });
    server.Post("/pass/login", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, false))
            return;
        signInSubmit(req, res);
    });
    server.Get("/pass/auth/security/home", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, false))
            return;
        securityHome(req, res);
    });
    server.Get("/pass/logout", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, false))
            return;
        logout(req, res);
    });
    server.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(signInPageUrl().toStdString());
    });
}

void SimAccountService::serviceLoginStep1(const httplib::Request& req, httplib::Response& res)
{
    const QMap<QString, QString> c = cookies(req);
    const QString sid = param(req, "sid");
    const QString userId = param(req, "userId");
    const QString mode = state()->faults().value(QLatin1String("service_login")).toString();

    SimAccount account;
    const bool known = state()->scenario()->accountByPassToken(c.value(QStringLiteral("passToken")), &account);
    if (sid.isEmpty() || !req.has_param("passive") || !req.has_param("hidden") || !known
        || account.userId != userId || c.value(QStringLiteral("userId")) != userId) {
        QJsonObject o{{QStringLiteral("code"), 70016}, {QStringLiteral("desc"), QStringLiteral("invalid pass token")},
                      {QStringLiteral("location"), QString()}};
        res.set_header("extension-pragma", "{\"nonce\":0}");
        res.set_content("&&&START&&&" + QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(), "text/plain");
        return;
    }

    SimCloudState::Ticket t;
    t.userId = userId;
    t.sid = sid;
    quint64 n = 0;
    randombytes_buf(&n, sizeof n);
    t.nonce = static_cast<qint64>(n & ((quint64(1) << 53) - 1)); // exact through a double
    QByteArray sec(16, '\0');
    randombytes_buf(sec.data(), 16);
    t.ssecurity = QString::fromLatin1(sec.toBase64());
    const qint64 sentNonce = t.nonce;
    if (mode == QLatin1String("string_nonce"))
        t.nonce = 0; // a nonce that is not a number counts as 0 for the signature
    const QString ticket = state()->addTicket(t);
    const QString location = baseUrl() + QStringLiteral("/sts?d=%1&ticket=%2&sid=%3")
                                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(c.value(QStringLiteral("deviceId")))),
                                                  ticket, QString::fromLatin1(QUrl::toPercentEncoding(sid)));

    QJsonObject pragma{{QStringLiteral("nonce"), static_cast<double>(sentNonce)}, {QStringLiteral("ssecurity"), t.ssecurity}};
    if (mode == QLatin1String("string_nonce"))
        pragma.insert(QStringLiteral("nonce"), QString::number(sentNonce));
    if (mode == QLatin1String("no_ssecurity"))
        pragma.remove(QStringLiteral("ssecurity"));
    QJsonObject body{{QStringLiteral("code"), 0}, {QStringLiteral("desc"), QStringLiteral("ok")},
                     {QStringLiteral("location"), location}, {QStringLiteral("userId"), userId}};
    if (mode == QLatin1String("code_nonzero")) {
        body.insert(QStringLiteral("code"), 70002);
        body.insert(QStringLiteral("desc"), QStringLiteral("service not allowed"));
    }
    if (mode == QLatin1String("no_code"))
        body.remove(QStringLiteral("code"));
    if (mode == QLatin1String("string_code"))
        body.insert(QStringLiteral("code"), QStringLiteral("0"));
    if (mode == QLatin1String("no_location"))
        body.remove(QStringLiteral("location"));

    if (mode != QLatin1String("no_pragma")) {
        const QByteArray p = mode == QLatin1String("bad_pragma") ? QByteArray("nonce=1;ssecurity")
                                                                 : QJsonDocument(pragma).toJson(QJsonDocument::Compact);
        res.set_header("extension-pragma", p.toStdString());
    }
    std::string text = "&&&START&&&" + QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
    if (mode == QLatin1String("no_marker"))
        text = text.substr(11);
    else if (mode == QLatin1String("bad_json"))
        text = "&&&START&&&{\"code\":0,";
    else if (mode == QLatin1String("empty_object"))
        text = "&&&START&&&{}";
    res.set_content(text, "text/plain");
}

void SimAccountService::serviceLoginStep2(const httplib::Request& req, httplib::Response& res)
{
    SimCloudState::Ticket t;
    if (!state()->takeTicket(param(req, "ticket"), &t)) {
        res.status = 401;
        res.set_content("unknown ticket", "text/plain");
        return;
    }
    const QString text = QStringLiteral("nonce=%1&%2").arg(t.nonce).arg(t.ssecurity);
    const QString expected = QString::fromLatin1(QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Sha1).toBase64());
    if (param(req, "clientSign") != expected) {
        res.status = 403;
        res.set_content("clientSign does not match", "text/plain");
        return;
    }
    const QString mode = state()->faults().value(QLatin1String("service_login")).toString();
    const QString token = state()->addSession({t.userId, t.ssecurity});
    if (mode == QLatin1String("no_cookie")) {
        res.set_header("Set-Cookie", cookie("userId", t.userId));
    } else if (mode == QLatin1String("empty_cookie")) {
        res.set_header("Set-Cookie", cookie("serviceToken", QString()));
    } else if (mode == QLatin1String("lowercase_cookie")) {
        res.set_header("Set-Cookie", cookie("servicetoken", token));
    } else {
        res.set_header("Set-Cookie", cookie("userId", t.userId));
        res.set_header("Set-Cookie", cookie("serviceToken", token));
        if (mode == QLatin1String("two_cookies"))
            res.set_header("Set-Cookie", cookie("serviceToken", QStringLiteral("second")));
    }
    res.set_content("ok", "text/plain");
}

void SimAccountService::signInPage(const httplib::Request& req, httplib::Response& res)
{
    const QMap<QString, QString> c = cookies(req);
    SimAccount a;
    if (state()->scenario()->accountByPassToken(c.value(QStringLiteral("passToken")), &a)
        && a.userId == c.value(QStringLiteral("userId"))) {
        res.set_redirect((baseUrl() + QStringLiteral("/pass/auth/security/home")).toStdString());
        return;
    }
    const QString error = param(req, "error").isEmpty()
        ? QString()
        : QStringLiteral("<p id=\"error\" class=\"error\">Wrong user id or password.</p>");
    res.set_content(html(QStringLiteral("Sign in"),
                         QStringLiteral("<h1>Sign in</h1>%1"
                                        "<form id=\"login\" method=\"post\" action=\"/pass/login\">"
                                        "<label>User id <input id=\"user\" name=\"user\" type=\"text\"></label>"
                                        "<label>Password <input id=\"password\" name=\"password\" type=\"password\"></label>"
                                        "<input type=\"hidden\" name=\"sid\" value=\"%2\">"
                                        "<button id=\"submit\" type=\"submit\">Sign in</button></form>")
                             .arg(error, escape(param(req, "sid")))),
                    "text/html; charset=utf-8");
}

void SimAccountService::signInSubmit(const httplib::Request& req, httplib::Response& res)
{
    const QString user = param(req, "user");
    const QString password = param(req, "password");
    SimAccount a;
    if (user.isEmpty() || !state()->scenario()->account(user, &a) || a.password != password) {
        res.status = 200;
        res.set_content(html(QStringLiteral("Sign in"),
                             QStringLiteral("<h1>Sign in</h1>"
                                            "<p id=\"error\" class=\"error\">Wrong user id or password.</p>"
                                            "<form id=\"login\" method=\"post\" action=\"/pass/login\">"
                                            "<label>User id <input id=\"user\" name=\"user\" type=\"text\" value=\"%1\"></label>"
                                            "<label>Password <input id=\"password\" name=\"password\" type=\"password\"></label>"
                                            "<button id=\"submit\" type=\"submit\">Sign in</button></form>")
                                 .arg(escape(user))),
                        "text/html; charset=utf-8");
        return;
    }
    res.set_header("Set-Cookie", cookie("passToken", a.passToken));
    res.set_header("Set-Cookie", cookie("userId", a.userId));
    res.set_header("Set-Cookie", cookie("deviceId", a.deviceId));
    res.set_redirect((baseUrl() + QStringLiteral("/pass/auth/security/home")).toStdString());
}

void SimAccountService::securityHome(const httplib::Request& req, httplib::Response& res)
{
    const QMap<QString, QString> c = cookies(req);
    SimAccount a;
    if (!state()->scenario()->accountByPassToken(c.value(QStringLiteral("passToken")), &a)
        || a.userId != c.value(QStringLiteral("userId"))) {
        res.set_redirect(signInPageUrl().toStdString());
        return;
    }
    res.set_content(html(QStringLiteral("Account"),
                         QStringLiteral("<h1>Signed in</h1><p id=\"user\">%1</p>").arg(escape(a.nickname))),
                    "text/html; charset=utf-8");
}

void SimAccountService::logout(const httplib::Request& req, httplib::Response& res)
{
    Q_UNUSED(req);
    res.set_header("Set-Cookie", cookie("passToken", QString(), true));
    res.set_header("Set-Cookie", cookie("userId", QString(), true));
    res.set_header("Set-Cookie", cookie("deviceId", QString(), true));
    res.set_redirect(signInPageUrl().toStdString());
}
