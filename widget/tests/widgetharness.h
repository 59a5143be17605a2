#pragma once

#include "core/appevents.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "temporarysettings.h"
#include "widget/widgetcontent.h"
#include "widgetfakes.h"

#include <QCoreApplication>

/** The widget content over fakes: platform, clock, application, hotkey grabs and service. */
struct WidgetHarness {
    TemporarySettings settings;
    FakePlatform platform;
    ManualTimerSource timers;
    FakeCoordinator coordinator;
    Shortcuts::SystemHotkeys layer{*platform.hotkeyGrabber};
    Shortcuts::Registry hotkeys{&layer};
    AppEvents events;
    TextsCalls texts;
    std::unique_ptr<WidgetContent> content;

    WidgetContent& makeContent() {
        content = std::make_unique<WidgetContent>(WidgetContent::Dependencies{
            coordinator, coordinator.userStore, coordinator.presetStore, events,
            *platform.windowTracker, *platform.keyboardManager, *platform.clipboard, timers,
            [this](const QString& token) {
                return std::make_unique<FakeTextsService>(texts, token);
            },
            hotkeys});
        QCoreApplication::processEvents(); // the first load is one turn later
        return *content;
    }
};
