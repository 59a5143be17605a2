#include "fakemaincoordinator.h"
#include "manualtimer.h"
#include "settings/recordercontrol.h"
#include "settings/settingsviewmodel.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "temporarysettings.h"

#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

class SettingsViewModelTest : public QObject {
    Q_OBJECT

private:
    TemporarySettings m_settings;
    Shortcuts::Registry m_hotkeys;
    std::unique_ptr<FakeCoordinator> m_coordinator;
    std::unique_ptr<ManualTimerSource> m_timers;
    std::unique_ptr<SettingsViewModel> m_model;

    FakePresetStore& store() { return m_coordinator->presetStore; }
    void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    PresetEntry custom(const QString& name) const {
        for (const PresetEntry& entry : m_coordinator->presetStore.entries) {
            if (entry->preset.name == name)
                return entry;
        }
        return {};
    }

private Q_SLOTS:

    void init() {
        m_settings.clear();
        m_coordinator = std::make_unique<FakeCoordinator>();
        m_timers = std::make_unique<ManualTimerSource>();
        store().entries = {FakePresetStore::entry(1, "Fix spelling", true, "command+option+1"),
                           FakePresetStore::entry(2, "Shorter", true),
                           FakePresetStore::entry(10, "Pirate", false, "command+option+j"),
                           FakePresetStore::entry(11, "Haiku", false, "command+option+k")};
        m_model =
            std::make_unique<SettingsViewModel>(m_coordinator->presetStore, m_hotkeys, *m_timers);
        m_model->loadPrompts();
    }

    void cleanup() { m_model.reset(); }

    void selectionDecidesWhetherTheFormIsEditable() {
        QVERIFY(m_model->disablePromptEdit()); // "Fix spelling", a standard prompt
        QCOMPARE(m_model->hotkeyRecorder()->text(),
                 Shortcuts::RecorderControl::displayText(
                     *Shortcuts::HotkeyText::toShortcut("command+option+1")));

        m_model->selectPrompt(10);
        QVERIFY(!m_model->disablePromptEdit());
        m_model->setSelectedPrompt(std::nullopt);
        QVERIFY(m_model->disablePromptEdit());
        QVERIFY(m_model->hotkeyRecorder()->text().isEmpty());
    }

    void reviewSwitchIsPerPromptAndKeptAtOnce() {
        QVERIFY(m_model->showChanges()); // "Fix spelling" corrects
        m_model->setShowChanges(false);
        m_model->selectPrompt(11);
        QVERIFY(!m_model->showChanges());
        m_model->setShowChanges(true);
        QVERIFY(!m_model->isPromptChanged());
        QVERIFY(!ReviewPreferences().showsChanges(custom("Fix spelling")->preset));
        QVERIFY(ReviewPreferences().showsChanges(custom("Haiku")->preset));
    }

    void addAndDuplicateSelectTheNewPromptOnceTheServiceAnswers() {
        store().entries.insert(2, FakePresetStore::entry(5, "New prompt", false));
        m_model->addPrompt();
        QCOMPARE(m_model->formState(), SettingsViewModel::FormState::adding);
        QCOMPARE(store().pendingCreates.first().first->preset.name, u"New prompt"_s);
        QCOMPARE(m_model->currentPrompt().preset.name, u"Fix spelling"_s);

        store().answerCreate();
        settle();
        QCOMPARE(m_model->formState(), SettingsViewModel::FormState::idle);
        // Two prompts of that name: the first in store order wins.
        QCOMPARE(m_model->currentPrompt().id, 5);

        // A duplicate copies everything but the hotkey.
        m_model->selectPrompt(10);
        m_model->duplicatePrompt();
        const PresetDto copy = store().pendingCreates.first().first->preset;
        QCOMPARE(copy.name, u"Pirate copy"_s);
        QCOMPARE(copy.hotkey, QString());
        QCOMPARE(copy.userMessage, u"Pirate message"_s);
        QCOMPARE(copy.temperature, 0.5);
        store().answerCreate();
        settle();
        QCOMPARE(m_model->currentPrompt().preset.name, u"Pirate copy"_s);
        QVERIFY(!m_model->disablePromptEdit());
    }

    void recordingAnotherPromptsHotkeyShowsTheClash() {
        m_model->selectPrompt(10);
        QWindow window;
        window.show();
        Shortcuts::RecorderControl& recorder = *m_model->hotkeyRecorder();
        recorder.setRecording(true);
        QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(m_model->showTooltipError());
        QCOMPARE(m_model->currentPrompt().preset.hotkey, u"command+option+j"_s);
        QVERIFY(!m_model->isPromptChanged());

        // Its own hotkey again is no clash; a free one changes the prompt.
        m_model->hotkeyChanged(Shortcuts::HotkeyText::toShortcut("command+option+j"));
        QVERIFY(!m_model->showTooltipError());
        QVERIFY(!m_model->isPromptChanged());
        m_model->hotkeyChanged(Shortcuts::HotkeyText::toShortcut("command+option+m"));
        QCOMPARE(m_model->currentPrompt().preset.hotkey, u"command+option+m"_s);
        QVERIFY(m_model->isPromptChanged());
    }

    void saveRunsOnlyWhenIdleAndStored() {
        m_model->setSelectedPrompt(std::nullopt);
        m_model->savePrompt(false);
        QVERIFY(store().pendingUpdates.isEmpty());

        m_model->selectPrompt(11);
        m_model->setSystemMessage("Answer in seventeen syllables.");
        m_model->savePrompt(false);
        m_model->savePrompt(false);
        QCOMPARE(m_model->formState(), SettingsViewModel::FormState::sending);
        QCOMPARE(store().pendingUpdates.size(), 1);
        QCOMPARE(store().pendingUpdates.first().first->preset.systemMessage,
                 u"Answer in seventeen syllables."_s);

        QSignalSpy states(m_model.get(), &SettingsViewModel::formStateChanged);
        store().answerUpdate();
        settle();
        QVERIFY(states.count() >= 2); // sent, then idle again after the reload
        QCOMPARE(m_model->formState(), SettingsViewModel::FormState::idle);
        QCOMPARE(m_model->currentPrompt().id, 11);
        QVERIFY(!m_model->isPromptChanged());
    }

    void reloadsKeepUnsavedEdits() {
        m_model->selectPrompt(11);
        m_model->setSystemMessage("Seventeen syllables, not one more.");
        m_model->togglePrompt(10); // another row's switch reloads the list
        settle();
        QCOMPARE(m_model->currentPrompt().id, 11);
        QCOMPARE(m_model->systemMessage(), u"Seventeen syllables, not one more."_s);
        QVERIFY(m_model->isPromptChanged());

        m_model->togglePrompt(11); // its own switch too; the copy follows the flag
        settle();
        QCOMPARE(m_model->systemMessage(), u"Seventeen syllables, not one more."_s);
        QVERIFY(!m_model->currentPrompt().enabled);

        store().entries.removeAt(3); // deleted elsewhere: nothing left to keep
        m_model->loadPrompts();
        QCOMPARE(m_model->currentPrompt().id, 1);
    }

    void listRowsFollowTheStoreAndRouteClicks() {
        using Role = SettingsPromptListModel::Role;
        SettingsPromptListModel& own = *m_model->userPromptList();
        QCOMPARE(own.data(own.index(1), Role::HotkeyRole).toString(),
                 Shortcuts::HotkeyText::displayText(u"command+option+k"_s));
        QCOMPARE(own.currentIndex(), -1); // a standard prompt is selected
        QSignalSpy resets(&own, &QAbstractItemModel::modelReset);
        own.choose(1);
        QCOMPARE(m_model->currentPrompt().id, 11);
        QCOMPARE(own.currentIndex(), 1);
        QCOMPARE(m_model->globalPromptList()->currentIndex(), -1);
        own.toggle(1);
        settle();
        QVERIFY(!own.data(own.index(1), Role::EnabledRole).toBool());
        QCOMPARE(resets.count(), 0); // the same prompts: rows change in place
    }
};

QTEST_MAIN(SettingsViewModelTest)
#include "tst_settingsviewmodel.moc"
