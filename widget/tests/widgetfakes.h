#pragma once

#include "fakemaincoordinator.h"
#include "service/textsservice.h"

#include <QList>

#include <memory>

/** Records generations; the test plays the service through the delegate it was given. */
struct TextsCalls {
    struct Call {
        QString token;
        std::optional<qint64> presetId;
        std::optional<QString> command;
        QString text;
        QList<RequestData> history;
    };
    QList<Call> calls;
    TextsServiceDelegate* delegate = nullptr;
    int cancels = 0;
};

class FakeTextsService final : public TextsServiceProtocol {
public:
    FakeTextsService(TextsCalls& calls, QString token)
        : m_calls(calls)
        , m_token(std::move(token)) {}
    void sendPreset(qint64 id, const QString& text, const QList<RequestData>& history,
                    TextsServiceDelegate* delegate) override {
        m_calls.calls.append({m_token, id, std::nullopt, text, history});
        m_calls.delegate = delegate;
    }
    void sendCommand(const QString& command, const QString& text, const QList<RequestData>& history,
                     TextsServiceDelegate* delegate) override {
        m_calls.calls.append({m_token, std::nullopt, command, text, history});
        m_calls.delegate = delegate;
    }
    void cancel() override { ++m_calls.cancels; }

private:
    TextsCalls& m_calls;
    QString m_token;
};
