#include "shortcuts/localeventmonitor.h"

#include <QKeyEvent>
#include <QTest>
#include <QWindow>

namespace {

class KeyWindow : public QWindow {
public:
    QList<int> received;

protected:
    void keyPressEvent(QKeyEvent* event) override { received.append(event->key()); }
};

} // namespace

class LocalEventMonitorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void seesWindowKeysOnceAndMaySwallowThem() {
        KeyWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<int> seen;
        auto monitor = std::make_unique<Shortcuts::LocalEventMonitor>(
            QList<QEvent::Type>{QEvent::KeyPress}, [&seen](QEvent* event) -> QEvent* {
                const int key = static_cast<QKeyEvent*>(event)->key();
                seen.append(key);
                return key == Qt::Key_Escape ? nullptr : event;
            });

        QTest::keyClick(&window, Qt::Key_A);
        QVERIFY2(seen.isEmpty(), "nothing is seen before start");
        monitor->start();
        QTest::keyClick(&window, Qt::Key_B);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(seen, (QList<int>{Qt::Key_B, Qt::Key_Escape}));
        QCOMPARE(window.received, (QList<int>{Qt::Key_A, Qt::Key_B}));

        monitor.reset();
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(window.received.last(), int(Qt::Key_Escape));
    }
};

QTEST_MAIN(LocalEventMonitorTest)
#include "tst_localeventmonitor.moc"
