#include "scriptedmodelserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

using namespace Qt::StringLiterals;

ScriptedModelServer::ScriptedModelServer(QObject* parent, quint16 port)
    : QObject(parent) {
    m_server.setListenBacklogSize(1024);
    m_server.listen(QHostAddress::LocalHost, port);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

QString ScriptedModelServer::baseUrl() const {
    return u"http://127.0.0.1:%1/v1"_s.arg(m_server.serverPort());
}

ScriptedModelServer::Step ScriptedModelServer::text(const QString& content) {
    const QJsonObject event{
        {u"object"_s, u"chat.completion.chunk"_s},
        {u"choices"_s, QJsonArray{QJsonObject{{u"index"_s, 0},
                                              {u"delta"_s, QJsonObject{{u"content"_s, content}}},
                                              {u"finish_reason"_s, QJsonValue::Null}}}}};
    return {Step::Event, "data: " + QJsonDocument(event).toJson(QJsonDocument::Compact) + "\n\n",
            0};
}

void ScriptedModelServer::release() {
    Q_EMIT released();
}

void ScriptedModelServer::serve(QTcpSocket* socket) {
    auto buffer = std::make_shared<QByteArray>();
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        *buffer += socket->readAll();
        const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QByteArray headers = buffer->left(headerEnd);
        const bool modelList =
            headers.startsWith("GET ") && headers.left(headers.indexOf(' ', 4)).endsWith("/models");
        const qsizetype lengthAt = headers.toLower().indexOf("content-length:");
        const qsizetype length =
            modelList ? 0
                      : headers.mid(lengthAt + 15, headers.indexOf('\r', lengthAt) - lengthAt - 15)
                            .trimmed()
                            .toLongLong();
        if (buffer->size() < headerEnd + 4 + length)
            return;
        socket->disconnect(this);
        if (modelList)
            ++m_modelLists;
        else
            m_requests.append(QJsonDocument::fromJson(buffer->mid(headerEnd + 4, length)).object());
        if (!m_rawAnswer.isEmpty()) {
            socket->write(m_rawAnswer);
            return;
        }
        if (modelList) {
            QJsonArray list;
            for (const QString& model : std::as_const(m_models))
                list.append(QJsonObject{{u"id"_s, model}, {u"object"_s, u"model"_s}});
            const QByteArray body =
                QJsonDocument(QJsonObject{{u"data"_s, list}}).toJson(QJsonDocument::Compact);
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                      "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        connect(socket, &QTcpSocket::disconnected, this, &ScriptedModelServer::clientDropped);
        play(socket, 0);
    });
}

void ScriptedModelServer::play(QTcpSocket* socket, qsizetype step) {
    const QPointer<QTcpSocket> guard(socket);
    for (; step < m_script.size(); ++step) {
        const Step& current = m_script.at(step);
        switch (current.kind) {
        case Step::Event:
        case Step::Raw:
        case Step::Timestamp: {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            const QByteArray data =
                current.kind == Step::Timestamp
                    ? text(u"[%1]"_s.arg(
                               std::chrono::duration_cast<std::chrono::microseconds>(now).count()))
                          .data
                    : current.data;
            socket->write(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
            socket->flush();
            break;
        }
        case Step::Pause:
            QTimer::singleShot(current.pauseMs, this, [this, guard, step] {
                if (guard)
                    play(guard, step + 1);
            });
            return;
        case Step::Hold: {
            auto connection = std::make_shared<QMetaObject::Connection>();
            *connection = connect(this, &ScriptedModelServer::released, this,
                                  [this, guard, step, connection] {
                                      disconnect(*connection);
                                      if (guard)
                                          play(guard, step + 1);
                                  });
            return;
        }
        case Step::Close:
            socket->disconnect(this);
            socket->abort();
            return;
        }
    }
    socket->write("0\r\n\r\n");
    socket->disconnect(this);
    ++m_finished;
    socket->disconnectFromHost();
}
