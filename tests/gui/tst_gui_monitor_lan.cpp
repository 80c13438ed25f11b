// The whole windowed monitor in a namespace LAN on a private X display: a stranger joins, the window pops
// up, its row flashes, the tray shows the alarm icon and the alert mail reaches a real SMTP server; the user
// acknowledges the stranger and moves it to the safe list with the mouse, and the alarm look ends.
#include "../e2e/LabHarness.h"
#include "GuiHarness.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace gui;

namespace {

const QString kProduct = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\");
const QString kStranger = QStringLiteral("00-00-0C-12-34-56");

// Distinct pictures of one screen area, taken every 120 ms for about a second and a half.
int distinctPictures(const XServer& x, const QRect& area)
{
    QSet<QByteArray> seen;
    for (int i = 0; i < 12; ++i) {
        const QImage image = x.grab(area);
        seen.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
        QTest::qWait(120);
    }
    return int(seen.size());
}

} // namespace

class TestGuiMonitorLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        QString why = whyNoDisplayTools();
        if (why.isEmpty())
            why = e2e::whyNotRunnable();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        if (e2e::run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}).code
            != 0)
            QSKIP("python3-aiosmtpd is not installed");
    }

    void strangerIsAlertedThenAcknowledgedAndMovedWithTheMouse()
    {
        e2e::Lab lab(QStringLiteral("kwgm"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        XServer x;
        QVERIFY2(x.ok(), "Xvfb did not start");
        Trayer trayer(x);
        trayer.start();

        // The mail server listens on the monitor namespace's own loopback.
        e2e::MailSink sink(lab.ns());
        QVERIFY(sink.port() > 0);

        TestHome home;
        const QString store = home.paths().home;
        const auto reg = [&](const QStringList& args) {
            return e2e::run(
                e2e::binary(QStringLiteral("kestrelwatch-reg")), QStringList {QStringLiteral("--home"), store} + args);
        };
        const auto set = [&](const char* name, const QString& value) {
            QCOMPARE(
                reg({QStringLiteral("set"), kProduct + QStringLiteral("GENERAL"), QLatin1String(name), value}).code, 0);
        };
        QVERIFY(e2e::configureAlertMail(store, sink.port()));
        set("Installed", QStringLiteral("Yes"));

        WindowedMonitor monitor(store, x);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        std::optional<XWindow> icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIcon(x.tree())).has_value(), 20000);
        // Let the first sweeps find the router; the window stays in the tray meanwhile.
        QTest::qWait(6000);
        std::optional<XWindow> window = mainWindow(x);
        QVERIFY(!window || !window->viewable);
        const QImage normalIcon = x.grab(icon->rect);

        QCOMPARE(
            lab.netlab(QStringLiteral("add"),
                   {QStringLiteral("stranger"), QStringLiteral("198.18.0.44"), QStringLiteral("00:00:0c:12:34:56")})
                .code,
            0);
        // The pop-up.
        const auto shown = [&x] {
            const std::optional<XWindow> w = mainWindow(x);
            return w.has_value() && w->viewable;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 30000);
        window = mainWindow(x);
        QVERIFY(window);
        const auto title = [&] {
            return x.tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window->id}).trimmed();
        };
        QTRY_COMPARE_WITH_TIMEOUT(title(), QStringLiteral("Kestrelwatch v1.0.0 ! INTRUDERS ONLINE !"), 5000);

        // The stranger is the first intruder row; an unacknowledged one flashes, and so does the tray icon.
        const QPoint origin = window->rect.topLeft();
        const QRect row0(origin + QPoint(39, 117), QSize(212, 55));
        QVERIFY(distinctPictures(x, row0) >= 2);
        QVERIFY(distinctPictures(x, icon->rect) >= 2);
        QVERIFY(x.grab(icon->rect) != normalIcon);

        // The mail.
        QTRY_VERIFY_WITH_TIMEOUT(sink.anyMessage(), 30000);
        const QString mail = sink.messageContaining(kStranger);
        QVERIFY2(!mail.isEmpty(), "no mail about the stranger");
        QVERIFY(
            mail.contains(QStringLiteral("Subject: URGENT: A New Device has been detected on your Wireless Network")));

        // Select the row, press its acknowledge button, then "Move >".
        const QString deviceKey = kProduct + QStringLiteral("DetectedDevices\\") + kStranger;
        const auto stored = [&](const char* value) {
            return reg({QStringLiteral("get"), deviceKey, QLatin1String(value)}).out.trimmed();
        };
        x.click(origin + QPoint(39 + 90, 117 + 20));
        QTest::qWait(700);
        x.click(origin + QPoint(39 + 188 + 8, 117 + 19 + 8));
        QTRY_COMPARE_WITH_TIMEOUT(stored("New_Device"), QStringLiteral("False"), 5000);
        QTest::qWait(700);
        x.click(origin + QPoint(151 + 50, 588 + 16));
        QTRY_COMPARE_WITH_TIMEOUT(stored("Intruder"), QStringLiteral("False"), 5000);

        // The next quiet tick ends the alarm look.
        QTRY_COMPARE_WITH_TIMEOUT(title(), QStringLiteral("Kestrelwatch v1.0.0"), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(x.grab(icon->rect) == normalIcon, 6000);

        QCOMPARE(monitor.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestGuiMonitorLan)
#include "tst_gui_monitor_lan.moc"
