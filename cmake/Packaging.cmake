# Two Debian packages: the desktop application and the companion service.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "The Orvane developers")
set(CPACK_PACKAGE_CONTACT "The Orvane developers <dev@orvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Writing assistant for the Linux desktop")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL orvane orvane-service)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Debug symbols stay in the build tree; the packages carry lean binaries.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_ORVANE_PACKAGE_NAME orvane)
set(CPACK_DEBIAN_ORVANE_DESCRIPTION
    "Writing assistant for the Linux desktop\n Select text in any application, press a hotkey and let a language model\n rewrite, shorten or answer it; the result goes back where the text was.")
# QML modules and the web engine are loaded at run time, so shlibdeps cannot see them.
set(CPACK_DEBIAN_ORVANE_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtwebengine, qml6-module-qtwebchannel")
set(CPACK_DEBIAN_ORVANE-SERVICE_PACKAGE_NAME orvane-service)
set(CPACK_DEBIAN_ORVANE-SERVICE_DESCRIPTION
    "Companion service of Orvane\n Accounts, devices, prompts and streaming text generation through any\n OpenAI-compatible model server.")
set(CPACK_DEBIAN_ORVANE-SERVICE_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_ORVANE-SERVICE_PACKAGE_SUGGESTS "libqt6sql6-psql")

include(CPack)
