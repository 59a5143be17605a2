#pragma once

#include "generationrequest.h"

#include <QObject>
#include <QString>

#include <memory>

namespace OrvaneServer {

/** Why a model refused or failed, as the service tells its clients (X-Orvane-Reason). */
namespace ModelFailure {
inline constexpr char NotFound[] = "model-not-found";
inline constexpr char Unauthorized[] = "model-unauthorized";
inline constexpr char InputTooLong[] = "input-too-long-for-model";
inline constexpr char Unreachable[] = "model-unreachable";
inline constexpr char Failed[] = "model-failed";
} // namespace ModelFailure

/**
 * One generation running on a model server. After start() it reports
 * opened() once the model has accepted the request, then text pieces in
 * order, and ends with exactly one of completed() or failed().
 */
class ModelStream : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ModelStream() override = default;

    virtual void start() = 0;
    /** Stops the generation on the model server; no signal follows. */
    virtual void cancel() = 0;
    /** Stops reading the model's answer while the client is behind, or reads on. */
    virtual void setPaused(bool paused) { Q_UNUSED(paused); }

Q_SIGNALS:
    void opened();
    void text(const QString& piece);
    void completed();
    /**
     * reason is for the log only (it may hold the model server's own words); kind is one of
     * ModelFailure. opened tells whether opened() had been reported before the failure.
     */
    void failed(const QString& reason, const QByteArray& kind, bool opened);
};

/** A language-model server that generates chat answers. */
class ModelBackend {
public:
    virtual ~ModelBackend() = default;

    /** A stream for the request, not yet started. */
    virtual std::unique_ptr<ModelStream> open(const ChatRequest& request) = 0;
};

} // namespace OrvaneServer
