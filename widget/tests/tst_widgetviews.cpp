#include "core/appevents.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "shortcuts/shortcuts.h"
#include "temporarysettings.h"
#include "widget/aidialoginputviewmodel.h"
#include "widget/aidialogpostactionsviewmodel.h"
#include "widget/aidialogpresetactionsviewmodel.h"
#include "widget/widgetcontent.h"
#include "widgetfakes.h"

#include <QDir>
#include <QPalette>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTranslator>
#include <QtQml/qqmlextensionplugin.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(Orvane_ViewsPlugin)
Q_IMPORT_QML_PLUGIN(Orvane_WidgetPlugin)
Q_IMPORT_QML_PLUGIN(Orvane_Widget_ModelsPlugin)

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
 * Loads every view of the widget module against real models and fails on any QML
 * warning; drives the models through their states and checks what the views show.
 * With ORVANE_WIDGET_SHOTS set to a folder, it also saves a picture of each state.
 */
class WidgetViewsTest : public QObject {
    Q_OBJECT

    TemporarySettings m_settings;
    FakePlatform m_platform;
    ManualTimerSource m_timers;
    FakeCoordinator m_coordinator;
    TextsCalls m_texts;
    Shortcuts::Registry m_hotkeys;
    AppEvents m_events;
    std::unique_ptr<WidgetContent> m_content;
    QQmlEngine m_engine;
    QTranslator m_translator;

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
        QVERIFY(m_translator.load(":/i18n/orvane_widget_en.qm"));
        QCoreApplication::installTranslator(&m_translator);
        m_coordinator.presetStore.add(1, "Fix grammar", true, "command+option+g");
        m_coordinator.presetStore.add(2, "Translate to English");
        m_coordinator.presetStore.add(3, "Make shorter");
        m_content = std::make_unique<WidgetContent>(WidgetContent::Dependencies{
            m_coordinator, m_coordinator.userStore, m_coordinator.presetStore, m_events,
            *m_platform.windowTracker, *m_platform.keyboardManager, *m_platform.clipboard, m_timers,
            [this](const QString& token) {
                return std::make_unique<FakeTextsService>(m_texts, token);
            },
            m_hotkeys});
        QCoreApplication::processEvents();
        qInstallMessageHandler(recordMessage);
    }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }
    void init() { g_messages.clear(); }
    void cleanup() { QVERIFY2(g_messages.isEmpty(), qPrintable(g_messages.join('\n'))); }

    void everyFileLoadsWithoutWarnings() {
        const QVariantMap required{
            {"content", QVariant::fromValue<QObject*>(m_content.get())},
            {"input", QVariant::fromValue<QObject*>(m_content->input())},
            {"prompts", QVariant::fromValue<QObject*>(m_content->presetActions())},
            {"actions", QVariant::fromValue<QObject*>(m_content->postActions())}};
        const QStringList files = QDir(moduleDir).entryList({"*.qml"});
        QVERIFY(files.size() >= 6);
        for (const QString& file : files) {
            QQmlComponent component(&m_engine, QUrl("qrc" + moduleDir + "/" + file));
            QVERIFY2(component.isReady(), qPrintable(file + ": " + component.errorString()));
            if (file == "WidgetTheme.qml")
                continue; // a singleton: used by the others
            QVariantMap properties;
            const char* needs = file == "WidgetWindow.qml"    ? "content"
                                : file == "PromptField.qml"   ? "input"
                                : file == "PromptList.qml"    ? "prompts"
                                : file == "ResultActions.qml" ? "actions"
                                                              : nullptr;
            if (needs)
                properties.insert(needs, required.value(needs));
            std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
            QVERIFY2(object, qPrintable(file + ": " + component.errorString()));
            QCoreApplication::processEvents();
            QVERIFY2(g_messages.isEmpty(), qPrintable(file + ": " + g_messages.join('\n')));
        }
    }

    void windowFollowsTheModels_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void windowFollowsTheModels() {
        QFETCH(bool, dark);
        QPalette palette;
        palette.setColor(QPalette::Window, dark ? QColor("#202124") : QColor("#f4f4f5"));
        palette.setColor(QPalette::WindowText, dark ? QColor("#eeeeee") : QColor("#111111"));
        QGuiApplication::setPalette(palette);

        QQmlComponent component(&m_engine, QUrl("qrc" + moduleDir + "/WidgetWindow.qml"));
        std::unique_ptr<QQuickWindow> window(
            qobject_cast<QQuickWindow*>(component.createWithInitialProperties(
                {{"content", QVariant::fromValue<QObject*>(m_content.get())}})));
        QVERIFY2(window, qPrintable(component.errorString()));
        window->setFlags(Qt::Window); // offscreen: an ordinary window to grab
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        AIDialogInputViewModel* input = m_content->input();
        const auto shows = [&window, this](const char* name) {
            return item(window.get(), name)->isVisible();
        };

        input->handleInput(SetCopiedItem{
            {RunningApp{7, 1, "mousepad"}, "Their going to the libary tomorow.", {}}, true});
        QTRY_VERIFY(shows("promptList"));
        QCOMPARE(item(window.get(), "promptList")->property("count").toInt(), 3);
        QCOMPARE(item(window.get(), "promptEditor")->property("placeholderText").toString(),
                 "Type a command or pick a prompt");
        m_content->presetActions()->selectNext();
        const int withList = window->height();
        QVERIFY(withList > 100);
        shoot(window.get(), "captured");

        input->handlePresetAction(PresetChoice{1, std::nullopt, false});
        m_texts.delegate->didReceiveText("They're going to the ");
        QTRY_COMPARE(item(window.get(), "resultText")->property("text").toString(),
                     "They're going to the");
        QVERIFY(shows("cancelButton") && !shows("promptList"));
        m_timers.advance(250ms);
        QCOMPARE(item(window.get(), "promptEditor")->property("placeholderText").toString(),
                 "Writing.");
        shoot(window.get(), "sending");

        m_texts.delegate->didReceiveText("library tomorrow.");
        m_texts.delegate->didFinish();
        QTRY_VERIFY(shows("resultActions"));
        QCOMPARE(item(window.get(), "resultActions")->property("count").toInt(), 7);
        QTRY_VERIFY(window->height() != withList); // the height follows the content
        m_content->postActions()->performAction(
            AIDialogPostActionsViewModel::Action::copyToClipboard);
        shoot(window.get(), "result");

        input->handlePresetAction(PresetOnly{2});
        m_texts.delegate->didReceiveText("Ils vont");
        m_texts.delegate->didFailGeneric();
        QTRY_VERIFY(shows("resultCut"));
        QVERIFY(shows("genericError") && !shows("tooLongError"));
        QCOMPARE(item(window.get(), "resultActions")->property("count").toInt(), 5);
        shoot(window.get(), "cut");

        input->handlePostAction(PostAction::tryAgain);
        input->handlePresetAction(PresetOnly{2});
        m_texts.delegate->didReceiveFailureReason("no-model-server");
        m_texts.delegate->didFailGeneric();
        QTRY_COMPARE(
            item(window.get(), "failureReason")->property("text").toString(),
            "Start Ollama or another OpenAI-compatible model server, or set ORVANE_LLM_URL");
        QVERIFY(!shows("resultCut"));
        shoot(window.get(), "error");

        input->handleInput(SetEmptyItem{true, std::nullopt, true});
        QTRY_VERIFY(!shows("inputArea"));
        input->setPromptText("Write a friendly reply that says yes");
        shoot(window.get(), "typing");
        input->setPromptText({});
    }
};

QTEST_MAIN(WidgetViewsTest)
#include "tst_widgetviews.moc"
