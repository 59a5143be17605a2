#pragma once

#include "service/basenetworkclient.h"
#include "service/presetdto.h"

#include <QList>

#include <functional>

/**
 * The user's prompts on the service. Every operation returns at once; its completion
 * runs later on the main thread, exactly once (not at all once the service is
 * destroyed), and never fails as such: a failed list is empty, a failed create or
 * update is PresetDto::blank() (id -1), a failed delete is false.
 */
class PresetsServiceProtocol {
public:
    virtual ~PresetsServiceProtocol() = default;

    /** GET /api/0/presets: the records in the order of the answer's "data" array. */
    virtual void presets(std::function<void(QList<PresetDto>)> completion) = 0;
    /** POST /api/0/presets with {"preset": record}, "id" included as the caller set it. */
    virtual void create(const PresetDto& preset, std::function<void(PresetDto)> completion) = 0;
    /** PUT /api/0/presets/<id> with {"preset": record}. */
    virtual void update(const PresetDto& preset, std::function<void(PresetDto)> completion) = 0;
    /** DELETE /api/0/presets/<id> true when the answer is a PresetDto. */
    virtual void deletePreset(qint64 id, std::function<void(bool)> completion) = 0;
};

class PresetsService final : public PresetsServiceProtocol, private BaseNetworkClient {
public:
    explicit PresetsService(QString token, const ServiceBase& base);

    void presets(std::function<void(QList<PresetDto>)> completion) override;
    void create(const PresetDto& preset, std::function<void(PresetDto)> completion) override;
    void update(const PresetDto& preset, std::function<void(PresetDto)> completion) override;
    void deletePreset(qint64 id, std::function<void(bool)> completion) override;

    /** The list with the failure kept, for callers that must tell "none" from "failed". */
    void presetsResult(std::function<void(NetworkResult<QList<PresetDto>>)> completion);

    /** The create and update body: {"preset": record} as compact UTF-8 JSON. */
    static QByteArray body(const PresetDto& preset);

private:
    static bool isEncodable(const PresetDto& preset);
    void failWithoutSending(std::function<void(PresetDto)> completion);
    void sendCreateOrUpdate(const PresetsEndpoint& endpoint,
                            std::function<void(PresetDto)> completion);

    QString m_token;
};
