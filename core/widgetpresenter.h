#pragma once

#include "core/runningapp.h"

#include <optional>

/** Shows and hides the writing widget: what the widget and the pages ask of the application. */
class WidgetPresenter {
public:
    virtual ~WidgetPresenter() = default;

    virtual void showWidget() = 0;
    /**
     * Builds the widget's view without showing it, so that a capture in flight and the
     * first build overlap. Building is an optimisation: doing nothing is correct.
     */
    virtual void prepareWidget() {}
    /** Hides the widget; activates app when one is given. */
    virtual void hideWidget(const std::optional<RunningApp>& app) = 0;
    virtual void toggleWidget() = 0;
    /** The application the widget was opened over, activated again when it hides. */
    virtual void setPreviousApp(const std::optional<RunningApp>& app) = 0;
};
