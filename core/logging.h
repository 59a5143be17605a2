#pragma once

#include <QLoggingCategory>

// One category per component, named "org.orvane.Orvane." + the component. Info and
// above are on by default; debug lines with
// QT_LOGGING_RULES="org.orvane.Orvane.*.debug=true". Messages are formatted only
// when their category is enabled.
Q_DECLARE_LOGGING_CATEGORY(lcApplication)
Q_DECLARE_LOGGING_CATEGORY(lcCoordinator)
Q_DECLARE_LOGGING_CATEGORY(lcHotkeys)
Q_DECLARE_LOGGING_CATEGORY(lcMain)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcUrl)
Q_DECLARE_LOGGING_CATEGORY(lcWebSocket)
