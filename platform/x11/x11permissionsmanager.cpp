#include "platform/x11/x11permissionsmanager.h"

#include "platform/x11/x11display.h"

X11PermissionsManager::X11PermissionsManager(std::shared_ptr<X11Display> display)
    : m_display(std::move(display)) {}

bool X11PermissionsManager::isTrusted(bool) {
    return m_display->hasXTest();
}
