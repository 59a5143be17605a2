#include "core/logging.h"

Q_LOGGING_CATEGORY(lcApplication, "org.orvane.Orvane.application", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCoordinator, "org.orvane.Orvane.coordinator", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHotkeys, "org.orvane.Orvane.hotkeys", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMain, "org.orvane.Orvane.main", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "org.orvane.Orvane.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUrl, "org.orvane.Orvane.url", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWebSocket, "org.orvane.Orvane.webSocket", QtInfoMsg)
