#include "InstanceGuard.h"

#include <QSignalSpy>
#include <QUuid>
#include <QtTest>

using namespace ordisp;

class TestInstanceGuard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondIsRefusedAndRaisesFirst();
    void releasedGuardLetsNextStart();
};

static QString UniqueName() {
    return QStringLiteral("ordisp-test-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

void TestInstanceGuard::secondIsRefusedAndRaisesFirst() {
    const QString name = UniqueName();
    LocalInstanceGuard first(name);
    QVERIFY(first.acquire());
    QSignalSpy raised(&first, &LocalInstanceGuard::activationRequested);

    LocalInstanceGuard second(name);
    QVERIFY(!second.acquire());
    second.activateRunning();
    QVERIFY(raised.wait(3000));
}

void TestInstanceGuard::releasedGuardLetsNextStart() {
    const QString name = UniqueName();
    {
        LocalInstanceGuard first(name);
        QVERIFY(first.acquire());
    }
    LocalInstanceGuard next(name);
    QVERIFY(next.acquire());
}

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
