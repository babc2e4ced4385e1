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

// The sign-in page in the application's colours: the brand mark, one card, the
// form the application's script fills (fields "user", "password", hidden "sid";
// button "submit"). Chinese for a "zh..." _locale, English otherwise; the form
// carries the locale to the answer of a wrong password.
bool chinese(const httplib::Request& req)
{
    return req.has_param("_locale") && QString::fromStdString(req.get_param_value("_locale")).startsWith(QLatin1String("zh"));
}

std::string signInHtml(bool chinese, bool wrong, const QString& user, const QString& sid)
{
    const auto tr = [chinese](const char* en, const char* zh) { return chinese ? QString::fromUtf8(zh) : QString::fromLatin1(en); };
    static const char kStyle[] =
        "html{background:#111317;}"
        "html body.vu{margin:0;padding:0;min-height:100vh;background:#111317;color:#e6e9ef;"
        "font-family:'Noto Sans CJK SC','Microsoft YaHei','PingFang SC','Segoe UI',sans-serif;"
        "display:flex;align-items:center;justify-content:center;}"
        ".card{box-sizing:border-box;width:100%;max-width:392px;margin:24px;padding:32px 28px 28px;"
        "background:#181b21;border:1px solid #2c313b;border-radius:12px;}"
        ".brand{display:flex;align-items:center;gap:10px;margin-bottom:24px;font-size:17px;font-weight:600;}"
        ".brand svg{width:40px;height:40px;}"
        "h1{margin:0 0 6px;font-size:22px;font-weight:600;color:#fff;}"
        ".hint{margin:0 0 20px;font-size:13px;color:#8a93a3;}"
        ".error{margin:0 0 16px;padding:10px 12px;border-radius:8px;font-size:13px;"
        "background:rgba(229,72,77,.12);border:1px solid #e5484d;color:#ff8f92;}"
        "#login label{display:block;margin:0 0 14px;font-size:13px;color:#9aa3b2;}"
        "#login input[type=text],#login input[type=password]{display:block;box-sizing:border-box;width:100%;"
        "height:40px;margin-top:6px;padding:0 12px;border-radius:8px;border:1px solid #343a46;"
        "background:#23272f;color:#fff;font-size:14px;outline:none;}"
        "#login input:focus{border-color:#ff6b1a;box-shadow:0 0 0 2px rgba(255,107,26,.25);}"
        "#login input.bad{border-color:#e5484d;}"
        "#login button{display:block;width:100%;height:42px;margin-top:22px;border:0;border-radius:8px;"
        "background:#ff6b1a;color:#fff;font-size:15px;font-weight:600;cursor:pointer;}"
        "#login button:hover{background:#ff8540;}#login button:active{background:#e65a0c;}";
    // The brand mark: an orange rounded square with a white lens and status light.
    static const char kLogo[] =
        "<svg viewBox=\"0 0 100 100\" aria-hidden=\"true\"><defs><linearGradient id=\"vg\" x1=\"0\" y1=\"0\" x2=\"1\" "
        "y2=\"1\"><stop offset=\"0\" stop-color=\"#ff8a3d\"/><stop offset=\"1\" stop-color=\"#f04e00\"/>"
        "</linearGradient></defs><rect width=\"100\" height=\"100\" rx=\"26\" fill=\"url(#vg)\"/>"
        "<circle cx=\"50\" cy=\"50\" r=\"30\" fill=\"none\" stroke=\"#fff\" stroke-width=\"8.5\"/>"
        "<circle cx=\"50\" cy=\"50\" r=\"11.4\" fill=\"#fff\"/><circle cx=\"80\" cy=\"20\" r=\"5\" fill=\"#fff\"/></svg>";
    const QString error = wrong ? QStringLiteral("<p id=\"error\" class=\"error\" role=\"alert\">%1</p>")
                                      .arg(tr("Wrong user id or password.", "账号或密码错误，请重新输入。"))
                                : QString();
    const QString hidden = sid.isEmpty() ? QString()
                                         : QStringLiteral("<input type=\"hidden\" name=\"sid\" value=\"%1\">").arg(sid.toHtmlEscaped());
    const QString signIn = tr("Sign in", "登录");
    const QString bad = wrong ? QStringLiteral(" class=\"bad\"") : QString();
    const QString body = QStringLiteral("<main class=\"card\"><div class=\"brand\">") + QLatin1String(kLogo)
        + QStringLiteral("<span>VuCamera</span></div><h1>") + signIn + QStringLiteral("</h1><p class=\"hint\">")
        + tr("Sign in to see your cameras.", "登录账号，查看你的摄像机。") + QStringLiteral("</p>") + error
        + QStringLiteral("<form id=\"login\" method=\"post\" action=\"/pass/login?_locale=")
        + (chinese ? QStringLiteral("zh_CN") : QStringLiteral("en")) + QStringLiteral("\"><label>") + tr("User id", "账号")
        + QStringLiteral(" <input id=\"user\" name=\"user\" type=\"text\" value=\"") + user.toHtmlEscaped()
        + QStringLiteral("\" autocomplete=\"username\"") + bad + QStringLiteral("></label><label>") + tr("Password", "密码")
        + QStringLiteral(" <input id=\"password\" name=\"password\" type=\"password\" autocomplete=\"current-password\"") + bad
        + QStringLiteral("></label>") + hidden + QStringLiteral("<button id=\"submit\" type=\"submit\">") + signIn
        + QStringLiteral("</button></form></main>");
    return (QStringLiteral("<!DOCTYPE html><html lang=\"") + (chinese ? QStringLiteral("zh-CN") : QStringLiteral("en"))
            + QStringLiteral("\"><head><meta charset=\"utf-8\"><title>") + signIn + QStringLiteral("</title><style>")
            + QLatin1String(kStyle) + QStringLiteral("</style></head><body class=\"vu\">") + body
            + QStringLiteral("</body></html>"))
        .toStdString();
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
    res.set_content(signInHtml(chinese(req), !param(req, "error").isEmpty(), QString(), param(req, "sid")), "text/html; charset=utf-8");
}

void SimAccountService::signInSubmit(const httplib::Request& req, httplib::Response& res)
{
    const QString user = param(req, "user");
    const QString password = param(req, "password");
    SimAccount a;
    if (user.isEmpty() || !state()->scenario()->account(user, &a) || a.password != password) {
        res.status = 200;
        res.set_content(signInHtml(chinese(req), true, user, param(req, "sid")), "text/html; charset=utf-8");
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
