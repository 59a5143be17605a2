#pragma once

#include "core/widgetpresenter.h"

class UserStoreProtocol;
class PresetStoreProtocol;

/** The widget's view of the application: presenting it, the signed-in user and the prompts. */
class MainCoordinatorProtocol : public WidgetPresenter {
public:
    [[nodiscard]] virtual UserStoreProtocol& getUserStore() = 0;
    [[nodiscard]] virtual PresetStoreProtocol& getPresetStore() = 0;
};
