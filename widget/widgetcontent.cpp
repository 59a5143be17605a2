#include "widget/widgetcontent.h"

#include "core/appevents.h"
#include "core/widgetpresenter.h"
#include "platform/pasteboardmanager.h"
#include "platform/polling.h"
#include "platform/windowtracker.h"
#include "store/presetdata.h"
#include "store/reviewpreferences.h"
#include "widget/widgetcontentviewmodel.h"

WidgetContent::WidgetContent(Dependencies deps, QObject* parent)
    : QObject(parent)
    , m_presenter(deps.presenter)
    , m_windowTracker(deps.windowTracker)
    , m_timers(deps.timers)
    , m_roundedCorners(deps.roundedCorners)
    , m_pasteboardManager(new PasteboardManager(deps.windowTracker, deps.keyboardManager,
                                                deps.clipboard, deps.timers, this))
    , m_input(new AIDialogInputViewModel({deps.presenter, deps.userStore, deps.windowTracker,
                                          deps.timers, std::move(deps.makeTextsService)},
                                         this))
    , m_presetActions(
          new AIDialogPresetActionsViewModel({deps.presetStore, deps.presenter, deps.windowTracker,
                                              deps.timers, deps.hotkeys, m_pasteboardManager},
                                             this))
    , m_postActions(new AIDialogPostActionsViewModel(deps.timers, this))
    , m_contentModel(new WidgetContentViewModel(deps.presenter, deps.windowTracker, deps.hotkeys,
                                                m_pasteboardManager, this))
    , m_keys(new WidgetKeys(deps.presenter, *m_input, *m_presetActions, *m_postActions, this))
    , m_review(new AnswerReview(*m_input, this)) {
    m_keys->setReview(m_review);
    ReviewPreferences review;
    m_review->setPreference({[&store = deps.presetStore, review](std::optional<qint64> id) {
                                 std::optional<PresetDto> prompt;
                                 for (const PresetEntry& entry : store.presets())
                                     if (id && entry->id == *id)
                                         prompt = entry->preset;
                                 return review.showsChanges(prompt);
                             },
                             [review](std::optional<qint64> id, bool show) mutable {
                                 if (id)
                                     review.setShowsChanges(*id, show);
                             }});
    m_input->setPasteboardManager(m_pasteboardManager);
    AIDialogInputViewModel* input = m_input;
    AIDialogPresetActionsViewModel* prompts = m_presetActions;
    AIDialogPostActionsViewModel* actions = m_postActions;

    connect(m_contentModel, &WidgetContentViewModel::captured, input,
            &AIDialogInputViewModel::handleInput);
    connect(m_contentModel, &WidgetContentViewModel::captured, prompts,
            &AIDialogPresetActionsViewModel::highlightFirst);
    connect(m_pasteboardManager, &PasteboardManager::lateSelection, input,
            &AIDialogInputViewModel::handleLateInput);
    connect(prompts, &AIDialogPresetActionsViewModel::chosen, input, [input](qint64 id) {
        input->handlePresetAction(PresetChoice{id, std::nullopt, false});
    });
    connect(prompts, &AIDialogPresetActionsViewModel::commandChosen, input,
            &AIDialogInputViewModel::send);
    connect(prompts, &AIDialogPresetActionsViewModel::hotkeyAction, input,
            &AIDialogInputViewModel::handlePresetAction);
    connect(actions, &AIDialogPostActionsViewModel::chosen, input,
            &AIDialogInputViewModel::handlePostAction);

    connect(input, &AIDialogInputViewModel::promptTextChanged, prompts,
            [input, prompts] { prompts->search(input->promptText()); });
    connect(input, &AIDialogInputViewModel::shownChanged, actions, [input, actions] {
        using Offer = AIDialogPostActionsViewModel::PasteOffer;
        actions->setPasteOffer(!input->offersPaste()     ? Offer::none
                               : input->pastesAtCursor() ? Offer::cursor
                                                         : Offer::selection);
    });
    connect(input, &AIDialogInputViewModel::promptStarted, actions,
            &AIDialogPostActionsViewModel::promptStarted);
    connect(input, &AIDialogInputViewModel::promptCompleted, actions,
            &AIDialogPostActionsViewModel::promptCompleted);
    connect(input, &AIDialogInputViewModel::promptCompleted, prompts,
            &AIDialogPresetActionsViewModel::promptCompleted);

    // What the rest of the application announces.
    connect(&deps.events, &AppEvents::widgetHidden, input, &AIDialogInputViewModel::widgetHidden);
    connect(&deps.events, &AppEvents::hotkeysRefreshRequested, prompts,
            &AIDialogPresetActionsViewModel::registerPromptHotkeys);
    // The store may announce from any thread; the reload always runs on ours.
    connect(&deps.presetStore, &PresetStoreProtocol::changed, prompts,
            &AIDialogPresetActionsViewModel::reloadPresets, Qt::QueuedConnection);
}

WidgetContent::~WidgetContent() = default;

void WidgetContent::setWindowActive(bool active) {
    m_windowActive = active;
    // A paste activates its window on purpose (a failed one brings the widget back); a
    // streaming answer stays up so that the user can come back to it.
    if (active || m_input->isPasting() || m_input->isSending() || m_input->explainsRefusedPaste())
        return;
    using namespace std::chrono_literals;
    const QPointer<WidgetContent> self(this);
    WindowTrackerProtocol& tracker = m_windowTracker;
    pollUntil(
        m_timers, 20ms, 10,
        [self, &tracker] {
            const std::optional<RunningApp> front = self ? tracker.frontmostApp() : std::nullopt;
            return front && !tracker.isOwnApp(*front);
        },
        [self](bool elsewhere) {
            if (self && elsewhere && !self->m_windowActive && !self->m_input->isPasting() &&
                !self->m_input->isSending())
                self->m_presenter.hideWidget(std::nullopt);
        });
}
