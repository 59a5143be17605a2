// From a chunk of the answer reaching the widget's input model to the first frame
// on screen that shows it: the widget's real models and its QML window, with the
// service and the platform played by the test doubles of the widget's tests.

#include "benchstats.h"
#include "core/appevents.h"
#include "fakeplatform.h"
#include "shortcuts/shortcuts.h"
#include "widget/aidialoginputviewmodel.h"
#include "widget/widgetcontent.h"
#include "widgetfakes.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSysInfo>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>

namespace {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

/** Runs the event loop, without spinning the processor, until done holds or timeoutMs pass. */
void runUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
}

void spinFor(int ms) {
    runUntil([] { return false; }, ms);
}

/**
 * Follows what each frame holds: the length of the result text when the scene was
 * synchronised, and when the frame with a longer text than asked for was swapped.
 */
class FrameWatch {
public:
    FrameWatch(QQuickWindow& window, AIDialogInputViewModel& input) {
        // Before the scene graph is synchronised the text the frame will show is settled.
        QObject::connect(
            &window, &QQuickWindow::afterAnimating, &window,
            [this, &input] { m_animated = input.resultText().size(); }, Qt::DirectConnection);
        QObject::connect(
            &window, &QQuickWindow::afterSynchronizing, &window,
            [this] { m_synced = m_animated.load(); }, Qt::DirectConnection);
        QObject::connect(
            &window, &QQuickWindow::frameSwapped, &window,
            [this] {
                const qsizetype shown = m_synced.load();
                if (m_firstShown.load() < 0 && shown > m_before.load())
                    m_firstShown = nowMs();
                if (m_allShown.load() < 0 && shown >= m_wanted.load())
                    m_allShown = nowMs();
            },
            Qt::DirectConnection);
    }

    /** Waits for frames that show more than before and then at least wanted characters. */
    void expect(qsizetype before, qsizetype wanted) {
        m_firstShown = -1;
        m_allShown = -1;
        m_before = before;
        m_wanted = wanted;
    }
    [[nodiscard]] double firstShown() const { return m_firstShown; }
    [[nodiscard]] double allShown() const { return m_allShown; }

private:
    std::atomic<qsizetype> m_animated{0};
    std::atomic<qsizetype> m_synced{0};
    std::atomic<qsizetype> m_before{0};
    std::atomic<qsizetype> m_wanted{0};
    std::atomic<double> m_firstShown{-1};
    std::atomic<double> m_allShown{-1};
};

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Chunk received by the widget's model to the first frame that shows it."));
    parser.addHelpOption();
    const QCommandLineOption chunks(QStringLiteral("chunks"),
                                    QStringLiteral("Chunks to measure (default 200)."),
                                    QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption interval(QStringLiteral("interval-ms"),
                                      QStringLiteral("Pause between chunks (default 40)."),
                                      QStringLiteral("MS"), QStringLiteral("40"));
    parser.addOptions({chunks, interval});
    parser.process(application);

    FakePlatform platform;
    FakeCoordinator coordinator;
    coordinator.presetStore.add(1, QStringLiteral("Fix grammar"), true);
    TextsCalls texts;
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml")); // as the application's engine does
    Shortcuts::Registry hotkeys;
    AppEvents events;
    SystemTimerSource timers;
    WidgetContent content(WidgetContent::Dependencies{
        coordinator, coordinator.userStore, coordinator.presetStore, events,
        *platform.windowTracker, *platform.keyboardManager, *platform.clipboard, timers,
        [&texts](const QString& token) { return std::make_unique<FakeTextsService>(texts, token); },
        hotkeys});
    QQmlComponent component(&engine,
                            QUrl(QStringLiteral("qrc:/qt/qml/Orvane/Widget/WidgetWindow.qml")));
    std::unique_ptr<QQuickWindow> owner(
        qobject_cast<QQuickWindow*>(component.createWithInitialProperties(
            {{QStringLiteral("content"), QVariant::fromValue<QObject*>(&content)}})));
    if (!owner) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    QQuickWindow* window = owner.get();
    AIDialogInputViewModel& input = *content.input();
    FrameWatch watch(*window, input);
    window->show();
    spinFor(500);
    std::printf("widget chunk benchmark: %s, Qt Quick %s backend, %s\n",
                qPrintable(QSysInfo::prettyProductName()),
                window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software
                    ? "software"
                    : "hardware-API",
                qPrintable(QGuiApplication::platformName()));

    const PasteboardManagerCopyItem captured{RunningApp{7, 1, QStringLiteral("mousepad")},
                                             QStringLiteral("Their going to the libary tomorow."),
                                             {}};
    const QStringList words{QStringLiteral("They're "), QStringLiteral("going "),
                            QStringLiteral("to "),      QStringLiteral("the "),
                            QStringLiteral("library "), QStringLiteral("tomorrow, ")};
    QList<double> toFirst;
    QList<double> toWhole;
    const int wanted = parser.value(chunks).toInt();
    int missed = 0;
    for (int chunk = 0; toFirst.size() < wanted && missed < 20; ++chunk) {
        // A fresh answer every 30 chunks keeps the text as long as a usual one.
        if (chunk % 30 == 0) {
            if (texts.delegate)
                texts.delegate->didFinish();
            spinFor(50);
            input.handleInput(SetCopiedItem{captured, true});
            input.handlePresetAction(PresetChoice{1, std::nullopt, false});
            spinFor(100);
            if (!texts.delegate || !input.isSending()) {
                std::fprintf(stderr, "the widget did not start an answer\n");
                return 1;
            }
        }
        spinFor(parser.value(interval).toInt());
        const QString word = words.at(chunk % words.size());
        const qsizetype before = input.resultText().size();
        // The last character waits for the next chunk in case combining marks follow.
        watch.expect(before, before + word.size() - 1);
        const double received = nowMs();
        texts.delegate->didReceiveText(word);
        runUntil([&watch] { return watch.firstShown() >= 0 && watch.allShown() >= 0; }, 2000);
        if (watch.firstShown() < 0 || watch.allShown() < 0) {
            ++missed;
            continue;
        }
        toFirst << watch.firstShown() - received;
        toWhole << watch.allShown() - received;
    }
    printFigure("chunk received to its first glyph on screen", toFirst, "ms", 16);
    printFigure("chunk received to the whole chunk on screen", toWhole, "ms", 0);
    if (missed > 0)
        std::printf("chunks never shown within 2 s: %d\n", missed);
    return toFirst.isEmpty() ? 1 : 0;
}
