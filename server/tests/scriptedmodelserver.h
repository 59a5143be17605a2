#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QTcpServer>

/**
 * An OpenAI-compatible chat-completions server on loopback that plays a
 * script: each request is answered with the scripted events, written as
 * HTTP chunks with the scripted pauses. A Hold step waits for release().
 * GET .../models lists the models set with setModels().
 */
class ScriptedModelServer : public QObject {
    Q_OBJECT
public:
    struct Step {
        enum Kind { Event, Raw, Pause, Hold, Close, Timestamp };
        Kind kind = Event;
        QByteArray data;
        int pauseMs = 0;
    };

    /** port 0: any free one. */
    explicit ScriptedModelServer(QObject* parent = nullptr, quint16 port = 0);

    [[nodiscard]] QString baseUrl() const;
    /** A text delta event ("data: {...}\n\n"). */
    static Step text(const QString& content);
    static Step done() { return {Step::Raw, "data: [DONE]\n\n", 0}; }
    /** These body bytes as one chunk, exactly. */
    static Step raw(const QByteArray& data) { return {Step::Raw, data, 0}; }
    static Step pause(int ms) { return {Step::Pause, {}, ms}; }
    static Step hold() { return {Step::Hold, {}, 0}; }
    static Step closeConnection() { return {Step::Close, {}, 0}; }
    /** A text delta "[µs]": std::chrono::steady_clock as it is written (the bench's latency). */
    static Step timestamp() { return {Step::Timestamp, {}, 0}; }

    void setScript(QList<Step> steps) { m_script = std::move(steps); }
    void setModels(QStringList models) { m_models = std::move(models); }
    /** Answers every request, model lists included, with exactly these bytes (status line and
     * headers too) and keeps the connection open. */
    void setRawAnswer(const QByteArray& answer) { m_rawAnswer = answer; }
    /** Continues every connection waiting at a Hold step. */
    void release();

    [[nodiscard]] QList<QJsonObject> requests() const { return m_requests; }
    [[nodiscard]] int finishedConnections() const { return m_finished; }
    [[nodiscard]] int modelListRequests() const { return m_modelLists; }

Q_SIGNALS:
    void released();
    void clientDropped();

private:
    void serve(QTcpSocket* socket);
    void play(QTcpSocket* socket, qsizetype step);

    QTcpServer m_server;
    QList<Step> m_script;
    QStringList m_models{QStringLiteral("scripted")};
    int m_modelLists = 0;
    QList<QJsonObject> m_requests;
    QByteArray m_rawAnswer;
    int m_finished = 0;
};
