#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace OrvaneServer {

/**
 * Decodes an application/x-www-form-urlencoded body. Empty when a field is
 * repeated, a percent escape is broken or a value is not UTF-8.
 */
std::optional<QHash<QString, QString>> parseFormBody(const QByteArray& body);

} // namespace OrvaneServer
