#include "core/appevents.h"
#include "fakemaincoordinator.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "service/servicebase.h"
#include "settings/authorizationviewmodel.h"
#include "settings/pagemodels.h"
#include "settings/settingscontent.h"
#include "temporarysettings.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTest>

using namespace Qt::StringLiterals;

/** Every settings view loads without an error or a warning, with its real model. */
class ViewsTest : public QObject {
    Q_OBJECT

private:
    TemporarySettings m_settings;
    FakeCoordinator m_coordinator;
    FakePermissionsManager m_permissions;
    ManualTimerSource m_timers;
    QList<QQmlError> m_warnings;

    void load(const QString& file, QObject* content) {
        QQmlEngine engine;
        engine.addImportPath(u"qrc:/qt/qml"_s);
        m_warnings.clear();
        connect(&engine, &QQmlEngine::warnings, this,
                [this](const QList<QQmlError>& w) { m_warnings << w; });
        QQmlComponent component(&engine, QUrl("qrc:/qt/qml/Orvane/Settings/" + file));
        QVERIFY2(component.isReady(), qPrintable(component.errorString()));
        std::unique_ptr<QObject> root(
            component.createWithInitialProperties({{"content", QVariant::fromValue(content)}}));
        QVERIFY2(qobject_cast<QQuickWindow*>(root.get()), qPrintable(component.errorString()));
        QCoreApplication::processEvents();
        QString text;
        for (const QQmlError& warning : std::as_const(m_warnings))
            text += warning.toString() + '\n';
        QVERIFY2(m_warnings.isEmpty(), qPrintable(text));
    }

private Q_SLOTS:
    void windowsLoadCleanly() {
        const ServiceBase base = *ServiceBase::parse("http://127.0.0.1:9");
        const PageContext pages{m_coordinator.userStore, m_coordinator.appearance, base};
        AppEvents events;
        AuthorizationViewModel authorization({m_coordinator.userStore, m_coordinator, events, pages,
                                              m_permissions, m_timers,
                                              [](const QString&) { return nullptr; },
                                              [](const QUrl&) {
                                              }});
        load("AuthorizationWindow.qml", &authorization);
        HelpCenterViewModel help(pages, m_coordinator, events);
        load("HelpCenterWindow.qml", &help);
        QObject nothing;
        load("NoConnectionWindow.qml", &nothing);
        Shortcuts::Registry hotkeys;
        SettingsContent settings(m_coordinator.presetStore, hotkeys, pages, events, m_timers);
        load("SettingsWindow.qml", &settings);
    }
};

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    ViewsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_views.moc"
