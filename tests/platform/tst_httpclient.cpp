#include "platform/HttpClient.h"
#include "platform/LocalAddressWatcher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>
#include <QTcpServer>
#include <QElapsedTimer>
#include <QtTest>

// The HTTP client against the private web server and proxy of the test
// services (tests/services).
class HttpClientTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void getIntoMemoryAndHead();
    void errorStatusIsAnError_data();
    void errorStatusIsAnError();
    void fileIsWrittenOnlyOnSuccess();
    void progressIsReported();
    void tlsIsVerified();
    void proxy_data();
    void proxy();
    void answerAfterChunkedProxyRefusal();
    void stalledTransferTimesOut();
    void unreachableServerIsNotConnected();
    void connectToServerChecksTheLastServer();
    void offlineWhenOnlyLoopback();

private:
    QString put(const QByteArray &content);
    QString m_url;
    QString m_root;
};

void HttpClientTest::initTestCase()
{
    m_url = qEnvironmentVariable("TOLVARENIX_HTTP_URL");
    m_root = qEnvironmentVariable("TOLVARENIX_HTTP_ROOT");
    if (m_url.isEmpty() || m_root.isEmpty() || qEnvironmentVariable("TOLVARENIX_PROXY_PORT").isEmpty())
        QSKIP("test services not started (run ./test.sh)");
}

// A file of its own on the web server; returns its path part.
QString HttpClientTest::put(const QByteArray &content)
{
    const QString name = QStringLiteral("/httpclient-%1.bin").arg(QUuid::createUuid().toString(QUuid::Id128));
    QFile f(m_root + name);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(content);
    return name;
}

void HttpClientTest::getIntoMemoryAndHead()
{
    const QByteArray content = "code d'accès\r\n" + QByteArray(70000, 'x');
    const QString path = put(content);
    HttpClient client;
    QByteArray body;
    const HttpResult result = client.get(m_url + path, body);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.status, 200);
    QCOMPARE(body, content);
    QVERIFY(client.connected());
    QCOMPARE(client.lastServer(), QUrl(m_url).scheme() + "://127.0.0.1:" + QString::number(QUrl(m_url).port()));

    const HttpResult head = client.head(m_url + path);
    QVERIFY2(head.ok, qPrintable(head.error));
    QCOMPARE(head.bytes, 0);
    QCOMPARE(head.contentLength, qint64(content.size()));
}

void HttpClientTest::errorStatusIsAnError_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::newRow("missing file") << "/absent-file.txt" << 404;
    QTest::newRow("server error page") << "/__status/500" << 500;
    QTest::newRow("unavailable") << "/__status/503" << 503;
}

void HttpClientTest::errorStatusIsAnError()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    HttpClient client;
    QByteArray body;
    const HttpResult result = client.get(m_url + path, body);
    QVERIFY(!result.ok);
    QCOMPARE(result.status, status);
    QVERIFY2(result.error.contains(QString::number(status)), qPrintable(result.error));
    // The server answered: it is reachable even though the request failed.
    QVERIFY(client.connected());
}

void HttpClientTest::fileIsWrittenOnlyOnSuccess()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("7z.exe"));
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("ancien");
    }
    HttpClient client;
    HttpResult result = client.getToFile(m_url + "/absent-file.exe", target);
    QVERIFY(!result.ok);
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("ancien"));
    kept.close();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"7z.exe"});

    const QByteArray content(123456, 'z');
    result = client.getToFile(m_url + put(content), target);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
}

void HttpClientTest::progressIsReported()
{
    const QByteArray content(300000, 'p');
    const QString path = put(content);
    HttpClient client;
    qint64 total = -1;
    qint64 last = 0;
    int ends = 0;
    int pumps = 0;
    client.setWorkHandlers({[&](qint64 t) { total = t; }, [&](qint64 c) { last = c; }, [&] { ++ends; }});
    client.setEventPump([&] { ++pumps; });
    QByteArray body;
    QVERIFY(client.get(m_url + path, body).ok);
    QCOMPARE(total, qint64(content.size()));
    QCOMPARE(last, qint64(content.size()));
    QCOMPARE(ends, 1);
    QVERIFY(pumps > 0);
}

void HttpClientTest::tlsIsVerified()
{
    const QString httpsUrl = qEnvironmentVariable("TOLVARENIX_HTTPS_URL");
    const QString ca = qEnvironmentVariable("TOLVARENIX_HTTPS_CA");
    if (httpsUrl.isEmpty() || ca.isEmpty())
        QSKIP("HTTPS test server not started");
    const QString path = put("secret");
    HttpClient client;
    QByteArray body;
    HttpResult result = client.get(httpsUrl + path, body);
    QVERIFY(!result.ok);
    QVERIFY(body.isEmpty());
    QVERIFY(!client.connected());

    client.setCaFile(ca);
    result = client.get(httpsUrl + path, body);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(body, QByteArray("secret"));
}

void HttpClientTest::proxy_data()
{
    QTest::addColumn<bool>("withUser");
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<bool>("basic");
    QTest::addColumn<bool>("expected");
    QTest::newRow("basic authentication") << true << true << true << true;
    QTest::newRow("credentials on request") << true << true << false << true;
    QTest::newRow("no credentials") << false << false << false << false;
    QTest::newRow("wrong password") << true << false << true << false;
}

void HttpClientTest::proxy()
{
    QFETCH(bool, withUser);
    QFETCH(bool, rightPassword);
    QFETCH(bool, basic);
    QFETCH(bool, expected);
    const QString path = put("par le proxy");
    HttpProxy proxy;
    proxy.host = qEnvironmentVariable("TOLVARENIX_PROXY_HOST");
    proxy.port = qEnvironmentVariableIntValue("TOLVARENIX_PROXY_PORT");
    if (withUser) {
        proxy.user = qEnvironmentVariable("TOLVARENIX_PROXY_USER");
        proxy.password = rightPassword ? qEnvironmentVariable("TOLVARENIX_PROXY_PASSWORD") : QStringLiteral("faux");
    }
    proxy.basicAuthentication = basic;
    HttpClient client;
    client.setProxy(proxy);
    QByteArray body;
    const HttpResult result = client.get(m_url + path, body);
    QCOMPARE(result.ok, expected);
    QCOMPARE(client.connected(), expected);
    if (expected) {
        QCOMPARE(body, QByteArray("par le proxy"));
    } else {
        // tinyproxy answers 407 without credentials and 401 for wrong ones.
        QVERIFY2(result.status == 407 || result.status == 401, qPrintable(result.statusLine));
        QVERIFY(!client.connectToServer().ok);
    }
}

void HttpClientTest::answerAfterChunkedProxyRefusal()
{
    // The test web server as the proxy: its refusal comes in chunks, then
    // the answer without length, cut half-way.
    const QString path = put(QByteArray(5000, 'c'));
    HttpProxy proxy;
    proxy.host = QStringLiteral("127.0.0.1");
    proxy.port = QUrl(m_url).port();
    proxy.user = QStringLiteral("mandataire");
    proxy.password = QStringLiteral("secret");
    HttpClient client;
    client.setProxy(proxy);
    QByteArray body;
    const HttpResult result = client.get(m_url + path + "?nolength=cut&proxy407", body);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.status, 200);
    QCOMPARE(body, QByteArray(2500, 'c'));
    // Nothing of this answer tells where its body ends: its reader cannot take it as whole.
    QCOMPARE(result.contentLength, qint64(-1));
    QVERIFY(!result.chunked);
    QVERIFY(!result.tlsClosed);
}

void HttpClientTest::stalledTransferTimesOut()
{
    HttpClient client;
    client.setStallTimeout(1);
    QByteArray body;
    QElapsedTimer timer;
    timer.start();
    const HttpResult result = client.get(m_url + "/__stall/20", body);
    QVERIFY(!result.ok);
    QVERIFY2(timer.elapsed() < 15000, "the stall timeout did not end the transfer");
    QVERIFY(!client.connected());
}

void HttpClientTest::unreachableServerIsNotConnected()
{
    // A port nothing listens on: the port of a socket just closed.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    HttpClient client;
    QByteArray body;
    const HttpResult result = client.get(QStringLiteral("http://127.0.0.1:%1/code.txt").arg(port), body);
    QVERIFY(!result.ok);
    QCOMPARE(result.status, 0);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(!client.connected());

    QVERIFY(!client.get(QStringLiteral("file:///etc/passwd"), body).ok);
    QVERIFY(body.isEmpty());
}

void HttpClientTest::connectToServerChecksTheLastServer()
{
    HttpClient client;
    QVERIFY(!client.connectToServer().ok); // no server known yet
    client.setDefaultServer(m_url);
    QVERIFY(client.connectToServer().ok);
    QVERIFY(client.connected());
    client.disconnect();
    QVERIFY(!client.connected());

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    QByteArray body;
    client.get(QStringLiteral("http://127.0.0.1:%1/x").arg(port), body);
    QVERIFY(!client.connectToServer().ok);
    QVERIFY(!client.connected());
}

void HttpClientTest::offlineWhenOnlyLoopback()
{
    LocalAddressWatcher watcher;
    QCOMPARE(watcher.currentLocalAddress(), QString()); // inactive
    watcher.setActive(true);
    LocalAddressWatcher::setForcedAddress(QStringLiteral("127.0.0.1"));
    QVERIFY(watcher.offline());
    LocalAddressWatcher::setForcedAddress(QString());
    // Whatever the machine has, the address is never a loopback one
    // unless it is the offline mark.
    const QString now = watcher.currentLocalAddress();
    QVERIFY(!now.isEmpty());
    QVERIFY(now == QLatin1String("127.0.0.1") || !QHostAddress(now).isLoopback());
}

QTEST_GUILESS_MAIN(HttpClientTest)
#include "tst_httpclient.moc"
