#pragma once

#include "service/servicebase.h"

#include <QString>
#include <QUrl>

/** The browser side of signing in: the random token and the page to open. */
namespace SignIn {

inline const QString tokenAlphabet =
    QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
inline constexpr int tokenLength = 24;

/**
 * A fresh sign-in token: 24 characters drawn independently and uniformly from the
 * 62-character alphabet with the system's cryptographically secure generator (an index
 * is accepted only below 62, so there is no modulo bias).
 */
[[nodiscard]] QString makeToken();

/** "<base>/users/log_in?token=<token>", or "/users/register" for signUp. */
[[nodiscard]] QUrl browserPageUrl(const ServiceBase& base, const QString& token,
                                  bool signUp = false);

} // namespace SignIn
