#include "core/jsondecoder.h"

#include <QJsonDocument>

#include <cmath>

JsonDecoder::JsonDecoder(QJsonObject object, QString path)
    : m_object(std::move(object))
    , m_path(std::move(path)) {}

JsonDecoder JsonDecoder::fromJson(const QByteArray& json, const QString& typeName) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    JsonDecoder decoder(document.object(), typeName);
    if (parseError.error != QJsonParseError::NoError)
        decoder.fail(QStringLiteral("%1: the data is not valid JSON (%2 at offset %3)")
                         .arg(typeName, parseError.errorString())
                         .arg(parseError.offset));
    else if (!document.isObject())
        decoder.fail(typeName + QStringLiteral(": expected a JSON object"));
    return decoder;
}

void JsonDecoder::fail(const QString& message) {
    if (m_error.isEmpty())
        m_error = message;
}

QString JsonDecoder::describe(const QString& key) const {
    return m_path.isEmpty() ? key : m_path + u'.' + key;
}

QJsonValue JsonDecoder::require(const QString& key) {
    if (!ok())
        return {};
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd()) {
        fail(QStringLiteral("keyNotFound: no value for key \"%1\"").arg(describe(key)));
        return {};
    }
    if (it->isNull()) {
        fail(QStringLiteral("valueNotFound: \"%1\" is null").arg(describe(key)));
        return {};
    }
    return *it;
}

std::optional<qint64> JsonDecoder::wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d)
        return std::nullopt;
    // toInteger() keeps full 64-bit precision for values parsed as integers and
    // answers its default for anything it cannot represent.
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b)
        return std::nullopt;
    return a;
}

QString JsonDecoder::string(const QString& key) {
    const QJsonValue v = require(key);
    if (!ok())
        return {};
    if (!v.isString()) {
        fail(QStringLiteral("typeMismatch: \"%1\" is not a string").arg(describe(key)));
        return {};
    }
    return v.toString();
}

qint64 JsonDecoder::integer(const QString& key) {
    const QJsonValue v = require(key);
    if (!ok())
        return 0;
    const auto whole = wholeNumber(v);
    if (!whole) {
        fail(QStringLiteral("typeMismatch: \"%1\" is not an integer").arg(describe(key)));
        return 0;
    }
    return *whole;
}

double JsonDecoder::number(const QString& key) {
    const QJsonValue v = require(key);
    if (!ok())
        return 0;
    if (!v.isDouble()) {
        fail(QStringLiteral("typeMismatch: \"%1\" is not a number").arg(describe(key)));
        return 0;
    }
    return v.toDouble();
}

bool JsonDecoder::boolean(const QString& key) {
    const QJsonValue v = require(key);
    if (!ok())
        return false;
    if (!v.isBool()) {
        fail(QStringLiteral("typeMismatch: \"%1\" is not a boolean").arg(describe(key)));
        return false;
    }
    return v.toBool();
}

QJsonObject JsonDecoder::object(const QString& key) {
    const QJsonValue v = require(key);
    if (!ok())
        return {};
    if (!v.isObject()) {
        fail(QStringLiteral("typeMismatch: \"%1\" is not an object").arg(describe(key)));
        return {};
    }
    return v.toObject();
}

QJsonArray JsonDecoder::array(const QString& key) {
    const QJsonValue v = require(key);
    if (!ok())
        return {};
    if (!v.isArray()) {
        fail(QStringLiteral("typeMismatch: \"%1\" is not an array").arg(describe(key)));
        return {};
    }
    return v.toArray();
}

std::optional<QString> JsonDecoder::optionalString(const QString& key) {
    if (!ok())
        return std::nullopt;
    const QJsonValue v = m_object.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return string(key);
}

std::optional<qint64> JsonDecoder::optionalInteger(const QString& key) {
    if (!ok())
        return std::nullopt;
    const QJsonValue v = m_object.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return integer(key);
}

JsonDecoder JsonDecoder::nested(const QString& key) {
    JsonDecoder inner(object(key), describe(key));
    inner.absorb(*this);
    return inner;
}

void JsonDecoder::absorb(const JsonDecoder& other) {
    if (!other.ok())
        fail(other.error());
}
