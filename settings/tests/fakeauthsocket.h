#pragma once

#include "service/websocketauthservice.h"

#include <QStringList>

/** A sign-in channel that only records what the flow asked of it. */
class FakeAuthSocket final : public WebSocketAuthServiceProtocol {
public:
    explicit FakeAuthSocket(QStringList& log)
        : m_log(log) {}
    ~FakeAuthSocket() override { m_log << QStringLiteral("dropped"); }

    WebSocketAuthServiceDelegate* delegate = nullptr;

    void connect(WebSocketAuthServiceDelegate* d) override {
        delegate = d;
        m_log << QStringLiteral("connect");
    }
    void disconnect() override {
        delegate = nullptr;
        m_log << QStringLiteral("disconnect");
    }

private:
    QStringList& m_log;
};
