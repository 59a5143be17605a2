#include "service/presetsservice.h"

#include <QJsonDocument>
#include <QTimer>

#include <cmath>

PresetsService::PresetsService(QString token, const ServiceBase& base)
    : BaseNetworkClient(base)
    , m_token(std::move(token)) {}

QByteArray PresetsService::body(const PresetDto& preset) {
    return QJsonDocument(PresetsCreateUpdateDto{preset}.toJson()).toJson(QJsonDocument::Compact);
}

bool PresetsService::isEncodable(const PresetDto& preset) {
    // JSON has no NaN or infinity; such a record cannot be encoded and is not sent.
    return std::isfinite(preset.temperature);
}

void PresetsService::failWithoutSending(std::function<void(PresetDto)> completion) {
    QTimer::singleShot(0, &context(),
                       [completion = std::move(completion)] { completion(PresetDto::blank()); });
}

void PresetsService::presets(std::function<void(QList<PresetDto>)> completion) {
    presetsResult(
        [completion = std::move(completion)](const NetworkResult<QList<PresetDto>>& result) {
            completion(result.ok() ? result.value() : QList<PresetDto>{});
        });
}

void PresetsService::presetsResult(
    std::function<void(NetworkResult<QList<PresetDto>>)> completion) {
    sendRequest<PresetsDataDto>(
        PresetsEndpoint::presets(m_token, serviceBase()),
        [completion = std::move(completion)](const NetworkResult<PresetsDataDto>& result) {
            if (result.ok())
                completion(result.value().data);
            else
                completion(result.error());
        });
}

void PresetsService::create(const PresetDto& preset, std::function<void(PresetDto)> completion) {
    if (!isEncodable(preset)) {
        failWithoutSending(std::move(completion));
        return;
    }
    sendCreateOrUpdate(PresetsEndpoint::create(m_token, body(preset), serviceBase()),
                       std::move(completion));
}

void PresetsService::update(const PresetDto& preset, std::function<void(PresetDto)> completion) {
    if (!isEncodable(preset)) {
        failWithoutSending(std::move(completion));
        return;
    }
    sendCreateOrUpdate(PresetsEndpoint::update(m_token, preset.id, body(preset), serviceBase()),
                       std::move(completion));
}

void PresetsService::sendCreateOrUpdate(const PresetsEndpoint& endpoint,
                                        std::function<void(PresetDto)> completion) {
    sendRequest<PresetsCreateUpdateDataDto>(
        endpoint, [completion = std::move(completion)](
                      const NetworkResult<PresetsCreateUpdateDataDto>& result) {
            completion(result.ok() ? result.value().data : PresetDto::blank());
        });
}

void PresetsService::deletePreset(qint64 id, std::function<void(bool)> completion) {
    sendRequest<PresetDto>(
        PresetsEndpoint::remove(m_token, id, serviceBase()),
        [completion = std::move(completion)](const NetworkResult<PresetDto>& result) {
            completion(result.ok());
        });
}
