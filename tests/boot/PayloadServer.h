// A one-file HTTP server on a host address, for guests to fetch from: every
// request gets the payload, whatever it asks for.
#pragma once

#include <QCryptographicHash>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

class PayloadServer : public QTcpServer {
public:
    PayloadServer() {
        for (int i = 0; i < 4096; ++i)
            m_payload += QByteArray::number(QRandomGenerator::global()->generate(), 16) + "\n";
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = nextPendingConnection()) {
                connect(client, &QTcpSocket::readyRead, client, [this, client] {
                    m_request += client->readAll();
                    if (!m_request.contains("\r\n\r\n"))
                        return;
                    m_request.clear();
                    client->write(
                        "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                        QByteArray::number(m_payload.size()) + "\r\n\r\n" + m_payload);
                    client->disconnectFromHost();
                });
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }
    QByteArray Md5() const {
        return QCryptographicHash::hash(m_payload, QCryptographicHash::Md5).toHex();
    }

private:
    QByteArray m_payload;
    QByteArray m_request;
};
