#include "InstanceGuard.h"

#include <QSignalSpy>
#include <QUuid>
#include <QtTest>

using namespace ordisp;

class TestInstanceGuard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneAtATime() {
        const QString name = QStringLiteral("ordisp-test-") + QUuid::createUuid().toString(QUuid::Id128);
        auto first = std::make_unique<LocalInstanceGuard>(name);
        QVERIFY(first->acquire());
        QSignalSpy raised(first.get(), &LocalInstanceGuard::activationRequested);
        LocalInstanceGuard second(name);
        QVERIFY(!second.acquire());
        second.activateRunning();
        QVERIFY(raised.wait(3000));
        first.reset();
        QVERIFY(second.acquire());
    }
};

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
