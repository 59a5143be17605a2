#pragma once

#include "core/runningapp.h"

#include <optional>

/** Shows and hides the writing widget: what the widget and the pages ask of the application. */
class WidgetPresenter {
public:
    virtual ~WidgetPresenter() = default;

    virtual void showWidget() = 0;
    /** Hides the widget; activates app when one is given. */
    virtual void hideWidget(const std::optional<RunningApp>& app) = 0;
    virtual void toggleWidget() = 0;
    /** The application the widget was opened over, activated again when it hides. */
    virtual void setPreviousApp(const std::optional<RunningApp>& app) = 0;
};
