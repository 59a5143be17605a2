#pragma once

#include <variant>

/** Why a request to the service failed. */
enum class NetworkError {
    decode,
    invalidUrl,
    noResponse,
    noData,
    unauthorised,
    forbidden,
    unexpected,
    unknown,
    badRequest,
};

/** The failure the user service reports to its delegate. */
enum class UserError {
    unauthorised,
    generic,
    failedToConnect,
};

/** A decoded answer or the reason there is none. */
template <typename T>
class NetworkResult {
public:
    NetworkResult(T value)
        : m_value(std::move(value)) {}
    NetworkResult(NetworkError error)
        : m_value(error) {}

    [[nodiscard]] bool ok() const { return std::holds_alternative<T>(m_value); }
    [[nodiscard]] const T& value() const { return std::get<T>(m_value); }
    [[nodiscard]] NetworkError error() const { return std::get<NetworkError>(m_value); }

private:
    std::variant<T, NetworkError> m_value;
};
