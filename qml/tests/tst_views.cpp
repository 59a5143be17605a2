#include "service/servicebase.h"
#include "settings/authorizationviewmodel.h"
#include "settings/pagemodels.h"
#include "settings/settingscontent.h"
#include "widgetharness.h"

#include <QPalette>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTranslator>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

namespace {

QStringList g_messages;

void recordMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_messages << message;
}

const QString moduleDir = u":/qt/qml/Orvane/Widget"_s;

} // namespace

/**
 * Loads the widget window (and with it every view of the module) against real models
 * and fails on any QML warning; drives the models through their phases and checks
 * what the views show. The settings windows load with their real models too. With
 * ORVANE_WIDGET_SHOTS set to a folder, it also saves a picture of each state.
 */
class ViewsTest : public QObject {
    Q_OBJECT

    WidgetHarness h;
    QQmlEngine m_engine;
    QTranslator m_widgetTexts;
    QTranslator m_settingsTexts;

    QQuickItem* item(QObject* root, const char* name) {
        return root->findChild<QQuickItem*>(QLatin1String(name));
    }

    void shoot(QQuickWindow* window, const QString& state) {
        const QString dir = qEnvironmentVariable("ORVANE_WIDGET_SHOTS");
        if (dir.isEmpty())
            return;
        QTest::qWait(30);
        const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
        QVERIFY(
            window->grabWindow().save(dir + "/" + state + (dark ? "-dark" : "-light") + ".png"));
    }

private Q_SLOTS:
    void initTestCase() {
        m_engine.addImportPath("qrc:/qt/qml"); // as the application's engine does
        QVERIFY(m_widgetTexts.load(":/i18n/orvane_widget_en.qm"));
        QVERIFY(m_settingsTexts.load(":/i18n/orvane_settings_en.qm"));
        QCoreApplication::installTranslator(&m_widgetTexts);
        QCoreApplication::installTranslator(&m_settingsTexts);
        h.coordinator.presetStore.add(1, "Fix grammar", true, "command+option+g");
        h.coordinator.presetStore.add(2, "Translate to English");
        h.coordinator.presetStore.add(3, "Make shorter");
        h.makeContent();
        qInstallMessageHandler(recordMessage);
    }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }
    void init() { g_messages.clear(); }
    void cleanup() { QVERIFY2(g_messages.isEmpty(), qPrintable(g_messages.join('\n'))); }

    void windowFollowsTheModels() {
        QQmlComponent component(&m_engine, QUrl("qrc" + moduleDir + "/WidgetWindow.qml"));
        std::unique_ptr<QQuickWindow> window(
            qobject_cast<QQuickWindow*>(component.createWithInitialProperties(
                {{"content", QVariant::fromValue<QObject*>(h.content.get())}})));
        QVERIFY2(window, qPrintable(component.errorString()));
        window->setFlags(Qt::Window); // offscreen: an ordinary window to grab
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        AIDialogInputViewModel* input = h.content->input();
        const auto shows = [&window, this](const char* name) {
            return item(window.get(), name)->isVisible();
        };
        const auto text = [&window, this](const char* name, const char* property = "text") {
            return item(window.get(), name)->property(property).toString();
        };

        input->handleInput(SetCopiedItem{
            {RunningApp{7, 1, "mousepad"}, "Their going to the libary tomorow.", {}}, true});
        QTRY_VERIFY(shows("promptList"));
        QCOMPARE(text("promptList", "count"), "3");
        QCOMPARE(text("promptEditor", "placeholderText"), "Type a command or pick a prompt");
        h.content->presetActions()->selectNext();
        const int withList = window->height();
        QVERIFY(withList > 100);
        shoot(window.get(), "captured");

        input->handlePresetAction(PresetChoice{1, std::nullopt, false});
        h.texts.delegate->didReceiveText("They're going to the ");
        QTRY_COMPARE(text("resultText"), "They're going to the");
        QVERIFY(shows("cancelButton") && !shows("promptList"));
        h.timers.advance(250ms);
        QCOMPARE(text("promptEditor", "placeholderText"), u"Writing…"_s);
        shoot(window.get(), "sending");

        h.texts.delegate->didReceiveText("library tomorrow.");
        h.texts.delegate->didFinish();
        QTRY_VERIFY(shows("resultActions"));
        QTRY_VERIFY(window->height() != withList); // the height follows the content

        // A complete answer opens as its changes; Tab switches to the plain answer and back.
        QTRY_VERIFY(shows("diffView") && !shows("resultText"));
        QCOMPARE(text("diffText"), h.content->review()->richText());
        shoot(window.get(), "review");
        QTest::keyClick(window.get(), Qt::Key_Tab);
        QTRY_VERIFY(!shows("diffView") && shows("resultText"));
        QCOMPARE(text("reviewHint"), "Show changes");
        QTest::keyClick(window.get(), Qt::Key_Tab);
        QTRY_VERIFY(shows("diffView"));

        input->handlePostAction(PostAction::tryAgain);
        input->handlePresetAction(PresetOnly{2});
        h.texts.delegate->didReceiveFailureReason("no-model-server");
        h.texts.delegate->didFailGeneric();
        QTRY_COMPARE(
            text("failureReason"),
            "Start Ollama or another OpenAI-compatible model server, or set ORVANE_LLM_URL");
        QVERIFY(shows("genericError") && !shows("tooLongError") && !shows("resultCut"));
        shoot(window.get(), "error");

        input->handleInput(SetEmptyItem{true, std::nullopt, true});
        QTRY_VERIFY(!shows("inputArea"));
        shoot(window.get(), "empty");
    }

    void settingsWindowsLoadCleanly() {
        const ServiceBase base = *ServiceBase::parse("http://127.0.0.1:9");
        const PageContext pages{h.coordinator.userStore, h.coordinator.appearance, base};
        FakePermissionsManager permissions;
        AuthorizationViewModel authorization({h.coordinator.userStore, h.coordinator, h.events,
                                              pages, permissions, h.timers,
                                              [](const QString&) { return nullptr; },
                                              [](const QUrl&) {
                                              }});
        HelpCenterViewModel help(pages, h.coordinator, h.events);
        QObject nothing;
        SettingsContent settings(h.coordinator.presetStore, h.hotkeys, pages, h.events, h.timers);
        const QList<std::pair<QString, QObject*>> windows{{"AuthorizationWindow", &authorization},
                                                          {"HelpCenterWindow", &help},
                                                          {"NoConnectionWindow", &nothing},
                                                          {"SettingsWindow", &settings}};
        for (const auto& [name, content] : windows) {
            QQmlComponent component(&m_engine,
                                    QUrl("qrc:/qt/qml/Orvane/Settings/" + name + ".qml"));
            const std::unique_ptr<QObject> window(
                component.createWithInitialProperties({{"content", QVariant::fromValue(content)}}));
            QVERIFY2(qobject_cast<QQuickWindow*>(window.get()),
                     qPrintable(component.errorString()));
            QCoreApplication::processEvents();
        }
    }
};

QTEST_MAIN(ViewsTest)
#include "tst_views.moc"
