// The question about a new network, in the window's look: its words, its three answers in order and what each
// gives, Escape as Not now; a picture of it is kept beside the test (network-question-<scale>.png) to look at.

#include "Skip.h"
#include "TestHome.h"
#include "mainwindow/NetworkQuestion.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

class TestNetworkQuestion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void answers_data()
    {
        QTest::addColumn<int>("press"); // the answer's button, -1: Escape
        QTest::addColumn<int>("answer");
        QTest::newRow("Watch") << int(NetworkBook::Watch::Watched) << int(NetworkBook::Watch::Watched);
        QTest::newRow("Not now") << int(NetworkBook::Watch::NotNow) << int(NetworkBook::Watch::NotNow);
        QTest::newRow("Never") << int(NetworkBook::Watch::Never) << int(NetworkBook::Watch::Never);
        QTest::newRow("Escape") << -1 << int(NetworkBook::Watch::NotNow);
    }

    void answers()
    {
        QFETCH(int, press);
        QFETCH(int, answer);
        NetworkBook::Network network;
        network.id = QStringLiteral("02-00-C6-12-00-01 198.51.100.0/24");
        network.subnet = QStringLiteral("198.51.100.0/24");
        network.gatewayIp = QStringLiteral("198.51.100.1");
        auto* question = new NetworkQuestion(network);
        QSignalSpy answered(question, &NetworkQuestion::answered);
        question->show();
        QVERIFY(QTest::qWaitForWindowExposed(question));
        QCOMPARE(question->text(),
            QStringLiteral("You joined a new network (gateway 198.51.100.1, 198.51.100.0/24). "
                           "Watch it?"));
        // The three answers, left to right as the platform orders their roles, each whole inside the box.
        QList<QAbstractButton*> buttons = question->buttons();
        std::sort(buttons.begin(), buttons.end(),
            [](const QAbstractButton* a, const QAbstractButton* b) { return a->x() < b->x(); });
        QStringList words;
        for (const QAbstractButton* b : buttons) {
            words << b->text();
            QVERIFY(question->rect().contains(QRect(b->mapTo(question, QPoint(0, 0)), b->size())));
            QVERIFY(b->width() >= b->fontMetrics().horizontalAdvance(b->text()));
        }
        QCOMPARE(QSet<QString>(words.cbegin(), words.cend()), (QSet<QString> {"Watch", "Not now", "Never"}));
        if (press == int(NetworkBook::Watch::Watched)) {
            const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
            QDir().mkpath(dir);
            const QString file =
                dir + QStringLiteral("/network-question-%1.png").arg(qEnvironmentVariable("QT_SCALE_FACTOR", "1"));
            QVERIFY(question->grab().save(file));
            qInfo("picture: %s", qPrintable(file));
        }
        if (press < 0)
            QTest::keyClick(question, Qt::Key_Escape);
        else
            question->button(NetworkBook::Watch(press))->click();
        QCOMPARE(answered.size(), 1);
        QCOMPARE(answered.first().at(0).toString(), network.id);
        QCOMPARE(answered.first().at(1).value<NetworkBook::Watch>(), NetworkBook::Watch(answer));
    }
};

KW_TEST_MAIN(TestNetworkQuestion)
#include "tst_networkquestion.moc"
