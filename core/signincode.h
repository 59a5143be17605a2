#pragma once

#include <QString>

/**
 * The short code ("XXXX-XXXX") of a sign-in, derived from its challenge. The service's
 * sign-in page and Orvane's sign-in window both show it, so that a user sent someone
 * else's link can tell; both sides must derive it the same way.
 */
[[nodiscard]] QString signInCodeFor(const QString& challenge);
