#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

/**
 * Strict reading of JSON objects into typed records: required keys must be present
 * with exactly the expected JSON type (an integer rejects strings and fractions),
 * unknown keys are ignored. The first failure is kept as a readable message and
 * every later read returns an empty value, so a record reads its fields in a row and
 * checks ok() once at the end.
 */
class JsonDecoder {
public:
    explicit JsonDecoder(QJsonObject object, QString path = {});

    /** Parses text that must hold a JSON object. */
    static JsonDecoder fromJson(const QByteArray& json, const QString& typeName);

    [[nodiscard]] bool ok() const { return m_error.isEmpty(); }
    [[nodiscard]] const QString& error() const { return m_error; }
    [[nodiscard]] const QJsonObject& object() const { return m_object; }

    QString string(const QString& key);
    qint64 integer(const QString& key);
    double number(const QString& key);
    bool boolean(const QString& key);
    QJsonObject object(const QString& key);
    QJsonArray array(const QString& key);

    /** Optional members: absent or null give nullopt; any other wrong type fails. */
    std::optional<QString> optionalString(const QString& key);
    std::optional<qint64> optionalInteger(const QString& key);

    /** A nested record decoded by its own decoder; its failure becomes ours. */
    JsonDecoder nested(const QString& key);
    /** Adopts a nested decoder's failure. */
    void absorb(const JsonDecoder& nested);
    void fail(const QString& message);

    /** Integer value of a JSON number that is whole and fits in 64 bits. */
    static std::optional<qint64> wholeNumber(const QJsonValue& value);

private:
    QJsonValue require(const QString& key);
    QString describe(const QString& key) const;

    QJsonObject m_object;
    QString m_path;
    QString m_error;
};
