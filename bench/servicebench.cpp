// Concurrent streamed generations through a real orvane-service against a
// scripted model server: how many streams one instance holds, how much
// latency it adds to each chunk on its way from the model to the client, and
// how much memory it holds while the clients read more slowly than the model
// writes.

#include "server/httpstreamclient.h"
#include "server/tests/scriptedmodelserver.h"
#include "server/tests/serviceprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    int streams = 1000;
    int chunks = 20;
    int intervalMs = 250;
    /** Set for the slow-reader phase: each chunk is this much text instead of a timestamp. */
    int chunkBytes = 0;
};

/** Runs the scripted model server on a thread of its own, away from the clients' event loop. */
class ModelServerThread : public QThread {
public:
    explicit ModelServerThread(const Options& options)
        : m_options(options) {}

    QString start() {
        std::future<QString> url = m_url.get_future();
        QThread::start();
        return url.get();
    }

protected:
    void run() override {
        ScriptedModelServer server;
        QList<ScriptedModelServer::Step> script;
        for (int i = 0; i < m_options.chunks; ++i)
            script << ScriptedModelServer::pause(m_options.intervalMs)
                   << (m_options.chunkBytes > 0
                           ? ScriptedModelServer::text(QString(m_options.chunkBytes, u'z'))
                           : ScriptedModelServer::timestamp());
        script << ScriptedModelServer::done();
        server.setScript(script);
        m_url.set_value(server.baseUrl());
        exec();
    }

private:
    Options m_options;
    std::promise<QString> m_url;
};

/** The clock of the scripted model server's timestamp chunks. */
qint64 steadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/** A kB figure of /proc/PID/status, such as "VmRSS"; -1 when there is none. */
qint64 statusKiB(qint64 pid, const QByteArray& field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

/** CPU time (user and system) the process has used so far, in microseconds. */
qint64 cpuMicroseconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the parenthesised command name; utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
    return ticks * 1000000 / ::sysconf(_SC_CLK_TCK);
}

double percentile(std::vector<qint64>& values, double fraction) {
    if (values.empty())
        return 0;
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return static_cast<double>(values[index]) / 1000.0;
}

struct Phase {
    qint64 peakServiceRssKiB = 0;
    int completed = 0;
    int failed = 0;
    int peakOpen = 0;
    double seconds = 0;
    double p50 = 0;
    double p99 = 0;
    std::size_t chunks = 0;
    QStringList failureReasons;
};

/**
 * Opens the streams spread over about a second and measures every timestamped chunk.
 * With slowReaders the clients read one bounded piece each every 250 ms; service, when
 * given, has its resident memory sampled throughout.
 */
Phase runPhase(const Options& options, const QUrl& url,
               const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& body,
               bool slowReaders = false, ServiceProcess* service = nullptr) {
    Phase phase;
    std::vector<qint64> latencies;
    latencies.reserve(static_cast<std::size_t>(options.streams * options.chunks));
    int open = 0;
    int started = 0;
    const int perTick = std::max(1, options.streams / 100);
    static const QRegularExpression stamp(QStringLiteral("\\[(\\d+)\\]"));
    std::vector<std::unique_ptr<OrvaneServer::HttpStreamClient>> clients;
    QEventLoop loop;
    QElapsedTimer wallClock;
    wallClock.start();

    const auto settle = [&] {
        if (phase.completed + phase.failed == options.streams)
            loop.quit();
    };
    QTimer ramp;
    ramp.setInterval(10);
    QObject::connect(&ramp, &QTimer::timeout, [&] {
        for (int i = 0; i < perTick && started < options.streams; ++i, ++started) {
            auto client = std::make_unique<OrvaneServer::HttpStreamClient>();
            auto buffer = std::make_shared<QString>();
            auto* raw = client.get();
            QObject::connect(raw, &OrvaneServer::HttpStreamClient::responseStarted,
                             [&](int status) {
                                 if (status == 200)
                                     phase.peakOpen = std::max(phase.peakOpen, ++open);
                             });
            QObject::connect(raw, &OrvaneServer::HttpStreamClient::bodyData,
                             [&, buffer](const QByteArray& data) {
                                 const qint64 now = steadyMicroseconds();
                                 *buffer += QString::fromUtf8(data);
                                 qsizetype consumed = 0;
                                 for (const QRegularExpressionMatch& match :
                                      stamp.globalMatch(*buffer)) {
                                     latencies.push_back(now - match.captured(1).toLongLong());
                                     consumed = match.capturedEnd();
                                 }
                                 buffer->remove(0, consumed);
                             });
            QObject::connect(raw, &OrvaneServer::HttpStreamClient::finished, [&, raw] {
                --open;
                raw->status() == 200 ? ++phase.completed : ++phase.failed;
                settle();
            });
            QObject::connect(raw, &OrvaneServer::HttpStreamClient::failed,
                             [&, raw](const QString& reason, bool) {
                                 if (raw->status() == 200)
                                     --open;
                                 ++phase.failed;
                                 if (phase.failureReasons.size() < 5)
                                     phase.failureReasons << reason;
                                 settle();
                             });
            raw->post(url, headers, body);
            raw->setPaused(slowReaders);
            clients.push_back(std::move(client));
        }
        if (started == options.streams)
            ramp.stop();
    });
    ramp.start();
    QTimer reader;
    reader.setInterval(250);
    QObject::connect(&reader, &QTimer::timeout, [&] {
        for (const auto& client : clients)
            client->setPaused(false);
        QTimer::singleShot(0, &loop, [&] {
            for (const auto& client : clients)
                client->setPaused(true);
        });
    });
    if (slowReaders)
        reader.start();
    QTimer sampler;
    sampler.setInterval(100);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        phase.peakServiceRssKiB = std::max(
            phase.peakServiceRssKiB, statusKiB(service->processId(), QByteArrayLiteral("VmRSS")));
    });
    if (service)
        sampler.start();
    QTimer::singleShot(300000, &loop, [&] {
        phase.failureReasons << QStringLiteral("timed out");
        loop.quit();
    });
    loop.exec();
    phase.seconds = static_cast<double>(wallClock.elapsed()) / 1000.0;
    phase.chunks = latencies.size();
    phase.p50 = percentile(latencies, 0.50);
    phase.p99 = percentile(latencies, 0.99);
    return phase;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Streams concurrent generations through orvane-service."));
    parser.addHelpOption();
    const QCommandLineOption streamsOption(QStringLiteral("streams"),
                                           QStringLiteral("Concurrent generations."),
                                           QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption chunksOption(QStringLiteral("chunks"),
                                          QStringLiteral("Chunks per generation."),
                                          QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption intervalOption(QStringLiteral("interval-ms"),
                                            QStringLiteral("Pause between chunks."),
                                            QStringLiteral("MS"), QStringLiteral("250"));
    parser.addOptions({streamsOption, chunksOption, intervalOption});
    parser.process(app);
    Options options;
    options.streams = std::max(1, parser.value(streamsOption).toInt());
    options.chunks = std::max(1, parser.value(chunksOption).toInt());
    options.intervalMs = std::max(1, parser.value(intervalOption).toInt());

    ModelServerThread modelThread(options);
    const QString modelUrl = modelThread.start();
    // All streams come from one device key here.
    const QStringList common{QStringLiteral("--llm-model"), QStringLiteral("bench"),
                             QStringLiteral("--max-generations-per-device"),
                             QString::number(options.streams)};
    ServiceProcess service(QStringList{QStringLiteral("--llm-url"), modelUrl} + common);
    if (!service.isRunning()) {
        qCritical("orvane-service did not start: %s", qPrintable(service.failureMessage()));
        modelThread.quit();
        modelThread.wait();
        return 1;
    }
    const QString key = service.createUserWithKey(QStringLiteral("bench@example.org"));

    // The same streams straight from the model server give the baseline: what the bench's
    // own clients and the loopback cost. The service's share is the difference.
    const Phase direct = runPhase(options, QUrl(modelUrl + QStringLiteral("/chat/completions")),
                                  {{"Content-Type", "application/json"}},
                                  "{\"model\":\"bench\",\"stream\":true,\"messages\":[]}");
    const qint64 cpuBefore = cpuMicroseconds(service.processId());
    const Phase through = runPhase(options, service.url(QStringLiteral("/api/0/texts")),
                                   {{"Authorization", "Bearer " + key.toLatin1()}},
                                   "command=Echo&text=benchmark&history=%5B%5D");
    const qint64 serviceCpu = cpuMicroseconds(service.processId()) - cpuBefore;
    service.terminate();
    modelThread.quit();
    modelThread.wait();

    // Slow readers: every answer is 640 KB written in 16 KB pieces every 20 ms, read at
    // most 64 KB per 250 ms. Without back-pressure the service would hold what the
    // clients have not read yet.
    Options slow = options;
    slow.chunks = 40;
    slow.chunkBytes = 16 * 1024;
    slow.intervalMs = 20;
    ModelServerThread slowModelThread(slow);
    const QString slowModelUrl = slowModelThread.start();
    ServiceProcess slowService(QStringList{QStringLiteral("--llm-url"), slowModelUrl} + common);
    const QString slowKey = slowService.createUserWithKey(QStringLiteral("bench@example.org"));
    const qint64 idleRss = statusKiB(slowService.processId(), QByteArrayLiteral("VmRSS"));
    const Phase slowReaders =
        runPhase(slow, slowService.url(QStringLiteral("/api/0/texts")),
                 {{"Authorization", "Bearer " + slowKey.toLatin1()}},
                 "command=Echo&text=benchmark&history=%5B%5D", true, &slowService);
    slowService.terminate();
    slowModelThread.quit();
    slowModelThread.wait();

    std::printf("orvane-service streaming benchmark (%s, %d cores)\n",
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount());
    std::printf("  generations                %d concurrent, %d chunks each, one every %d ms\n",
                options.streams, options.chunks, options.intervalMs);
    for (const Phase* phase : {&direct, &through}) {
        std::printf("  %s\n", phase == &direct ? "model server directly (baseline):"
                                               : "through orvane-service:");
        std::printf("    completed / failed       %d / %d in %.1f s\n", phase->completed,
                    phase->failed, phase->seconds);
        std::printf("    peak concurrent streams  %d\n", phase->peakOpen);
        std::printf("    chunk latency            p50 %.2f ms, p99 %.2f ms (%zu chunks)\n",
                    phase->p50, phase->p99, phase->chunks);
        for (const QString& reason : phase->failureReasons)
            std::printf("    failure: %s\n", qPrintable(reason));
    }
    // Percentiles of the two paths: the difference of the medians is the service's typical
    // share; at the tail, the whole path through the service bounds it.
    std::printf("  added by orvane-service    p50 %.2f ms, p99 %.2f ms per chunk"
                " (whole path p99 %.2f ms)\n",
                through.p50 - direct.p50, std::max(0.0, through.p99 - direct.p99), through.p99);
    std::printf("  orvane-service CPU         %.1f%% of one core, %.0f us per chunk\n",
                100.0 * static_cast<double>(serviceCpu) / (through.seconds * 1e6),
                through.chunks
                    ? static_cast<double>(serviceCpu) / static_cast<double>(through.chunks)
                    : 0.0);
    std::printf("  slow readers:              %d answers of %d KB, read 64 KB per 250 ms\n",
                slow.streams, slow.chunks * slow.chunkBytes / 1024);
    std::printf("    completed / failed       %d / %d in %.1f s\n", slowReaders.completed,
                slowReaders.failed, slowReaders.seconds);
    for (const QString& reason : slowReaders.failureReasons)
        std::printf("    failure: %s\n", qPrintable(reason));
    std::printf("    orvane-service memory    %.1f MB resident at peak (%.1f MB idle; %.0f MB "
                "of answers offered)\n",
                static_cast<double>(slowReaders.peakServiceRssKiB) / 1024.0,
                static_cast<double>(idleRss) / 1024.0,
                static_cast<double>(slow.streams) * slow.chunks * slow.chunkBytes / 1048576.0);
    return direct.failed == 0 && through.failed == 0 && slowReaders.failed == 0 ? 0 : 1;
}
