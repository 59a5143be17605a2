#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTcpServer>

/**
 * An OpenAI-compatible chat-completions endpoint on 127.0.0.1 that answers the n-th
 * request with the n-th scripted answer (the last one again after that), streamed
 * as server-sent events in the given pieces.
 */
class ChatModelServer : public QObject {
    Q_OBJECT
public:
    explicit ChatModelServer(QList<QStringList> answers, QObject* parent = nullptr);

    [[nodiscard]] QString baseUrl() const;
    /** The request bodies received so far. */
    [[nodiscard]] const QList<QByteArray>& requests() const { return m_requests; }
    [[nodiscard]] int answered() const { return m_answered; }

private:
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QStringList& pieces, qsizetype piece);

    QTcpServer m_server;
    QList<QStringList> m_answers;
    QList<QByteArray> m_requests;
    int m_answered = 0;
};
