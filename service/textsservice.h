#pragma once

#include "service/servicebase.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

/** One earlier exchange of a widget conversation, sent back as context. */
struct RequestData {
    /** Set for an exchange started from a prompt ("preset_id", omitted when absent). */
    std::optional<qint64> presetId;
    /** Set for an exchange started from a free-form command ("command", omitted when absent). */
    std::optional<QString> command;
    QString text;
    QString response;

    [[nodiscard]] QJsonObject toJson() const;
    friend bool operator==(const RequestData&, const RequestData&) = default;
};

/** Hears how one generation goes; every call arrives on the main thread, in arrival order. */
class TextsServiceDelegate {
public:
    virtual ~TextsServiceDelegate() = default;
    /** One chunk of the answer as it arrived (whole UTF-8 characters only). */
    virtual void didReceiveText(const QString& text) = 0;
    /** The request ended: after success, and after didFailGeneric(). */
    virtual void didFinish() = 0;
    /** The service answered 413; nothing follows. */
    virtual void didFailPromptTooLong() = 0;
    /** Any other failure, cancellation included; didFinish() follows. */
    virtual void didFailGeneric() = 0;
    // clang-format off
    /** The service classified why it refused (its X-Orvane-Reason header); comes before didFailGeneric(). */
    virtual void didReceiveFailureReason(const QString& reason) { Q_UNUSED(reason); }
    // clang-format on
};

/** Runs one text generation against POST /api/0/texts, streaming the answer. */
class TextsServiceProtocol {
public:
    virtual ~TextsServiceProtocol() = default;
    /** The delegate must outlive the service or the generation. */
    virtual void sendPreset(qint64 presetId, const QString& text, const QList<RequestData>& history,
                            TextsServiceDelegate* delegate) = 0;
    virtual void sendCommand(const QString& command, const QString& text,
                             const QList<RequestData>& history, TextsServiceDelegate* delegate) = 0;
    /** Cancels the request in flight, if any: didFailGeneric() then didFinish(). */
    virtual void cancel() = 0;
};

/**
 * Percent-encodes as the texts form needs it: every Unicode letter, mark and digit and
 * the characters "-._~/?" stay as they are, everything else becomes its UTF-8 bytes as
 * "%XX" with uppercase hex digits. nullopt for text that has no UTF-8 form (a lone
 * surrogate).
 */
[[nodiscard]] std::optional<QString> textsPercentEncode(const QString& text);

/** The history as the JSON array text of its exchanges. */
[[nodiscard]] QString encodeHistory(const QList<RequestData>& history);

/**
 * Splits off the bytes at the end of data that begin a UTF-8 character without
 * completing it; they wait for the next chunk. Returns how many bytes that is (0..3).
 */
[[nodiscard]] qsizetype incompleteUtf8Tail(const QByteArray& data);

/** The reason token of an X-Orvane-Reason value: lower-case letters and dashes, empty if not. */
[[nodiscard]] QString failureReasonToken(const QByteArray& headerValue);

class TextsService final : public QObject, public TextsServiceProtocol {
    Q_OBJECT

public:
    /** token: the signed-in user's device key ("" when nobody is signed in). */
    explicit TextsService(QString token, const ServiceBase& base, QObject* parent = nullptr);
    ~TextsService() override;

    void sendPreset(qint64 presetId, const QString& text, const QList<RequestData>& history,
                    TextsServiceDelegate* delegate) override;
    void sendCommand(const QString& command, const QString& text, const QList<RequestData>& history,
                     TextsServiceDelegate* delegate) override;
    void cancel() override;

private:
    struct Stream;

    void send(std::optional<qint64> presetId, const std::optional<QString>& command,
              const QString& text, const QList<RequestData>& history,
              TextsServiceDelegate* delegate);
    void start(const std::shared_ptr<Stream>& stream);
    void onMetaData(const std::shared_ptr<Stream>& stream);
    void onReadyRead(const std::shared_ptr<Stream>& stream);
    void onFinished(const std::shared_ptr<Stream>& stream);
    /** Runs call on the main thread's queue if this service still exists and has a delegate. */
    template <typename... Params, typename... Args>
    void post(void (TextsServiceDelegate::*call)(Params...), Args... args) {
        QMetaObject::invokeMethod(
            this,
            [this, call, args...] {
                if (m_delegate)
                    (m_delegate->*call)(args...);
            },
            Qt::QueuedConnection);
    }

    QString m_token;
    ServiceBase m_base;
    TextsServiceDelegate* m_delegate = nullptr;
    QPointer<QNetworkReply> m_task;
    /** The context of a request that still waits for the network to come back. */
    QPointer<QObject> m_waiting;
};
