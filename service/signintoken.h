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

/**
 * The secret with which the application's socket proves that it started the sign-in
 * for token: drawn once per token and kept for the life of the process, never sent to
 * the browser.
 */
[[nodiscard]] QString verifierFor(const QString& token);
/** The lower-case hex SHA-256 of the verifier: what the browser page is given. */
[[nodiscard]] QString challengeFor(const QString& token);
/**
 * The code the sign-in page shows for this token ("XXXX-XXXX"); the sign-in window shows
 * it too, so that the user can tell a page opened by someone else's link.
 */
[[nodiscard]] QString shortCode(const QString& token);

/** "<base>/users/log_in?token=<token>&challenge=<challenge>", or "/users/register" for signUp. */
[[nodiscard]] QUrl browserPageUrl(const ServiceBase& base, const QString& token,
                                  bool signUp = false);

} // namespace SignIn
