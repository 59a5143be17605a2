#pragma once

#include "webpage/pageprotocol.h"
#include "webpage/webview.h"

#include <QObject>
#include <QQuickView>

#include <cstdio>

class QSocketNotifier;

/**
 * The page helper's one page: a frameless window with the web view, driven by the
 * commands orvane writes to standard input and reporting to standard output.
 * The end of standard input (orvane gone or done with the page) ends the helper.
 */
class PageSession : public QObject {
    Q_OBJECT

public:
    PageSession(int input, std::FILE* output, QObject* parent = nullptr);
    ~PageSession() override;

    /** Creates and maps the window, then reports its id. */
    void start();
    void handle(const QJsonObject& command);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void announcePosition();
    void readInput();
    void write(const QByteArray& line);

    int m_input;
    std::FILE* m_output;
    QSocketNotifier* m_notifier = nullptr;
    PageProtocol::LineReader m_reader;
    WebView m_bridge;
    QQuickView m_view;
};
