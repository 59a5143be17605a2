#include "webpage/webview.h"

#include <QFile>
#include <QQmlWebChannel>
#include <QQuickWebEngineProfile>
#include <QRegularExpression>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestInterceptor>

/** Adds the page request's headers to the main-frame request for its URL. */
class PageHeaders final : public QWebEngineUrlRequestInterceptor {
public:
    PageProtocol::Load request;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        if (info.requestUrl().adjusted(QUrl::RemoveFragment) !=
            request.url.adjusted(QUrl::RemoveFragment))
            return;
        for (const PageProtocol::Header& header : request.headers)
            info.setHttpHeader(header.first, header.second);
    }
};

namespace {

/** Published to the page's isolated world as "jsMessenger". */
class JsMessenger final : public QObject {
    Q_OBJECT

public:
    explicit JsMessenger(WebView& view)
        : QObject(&view)
        , m_view(view) {}

    Q_INVOKABLE void postMessage(const QString& body) { m_view.receiveMessage(body); }

private:
    WebView& m_view;
};

const QString clickScript = QStringLiteral(R"JS(
new QWebChannel(qt.webChannelTransport, function (channel) {
    var messenger = channel.objects.jsMessenger;
    function listen() {
        document.addEventListener("click", function (event) {
            var element = document.elementFromPoint(event.clientX, event.clientY);
            if (element)
                messenger.postMessage(element.outerHTML);
        });
    }
    if (document.readyState === "complete")
        listen();
    else
        window.addEventListener("load", listen);
});
)JS");

const QString viewportScript = QStringLiteral(R"JS(
(function () {
    var meta = document.createElement("meta");
    meta.name = "viewport";
    meta.content = "initial-scale=1,maximum-scale=1,user-scalable=0,viewport-fit=cover";
    document.getElementsByTagName("head")[0].appendChild(meta);
})();
)JS");

QWebEngineScript makeScript(const QString& name, const QString& source) {
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    return script;
}

QString webChannelLibrary() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The identifier of an element's opening tag; ".*>" keeps it inside a tag.
const QRegularExpression& buttonPattern() {
    static const QRegularExpression pattern(QStringLiteral("<button id\\s?=\\s?\"([^\"]*)\".*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

const QRegularExpression& spanPattern() {
    static const QRegularExpression pattern(QStringLiteral("<span id\\s?=\\s?\"([^\"]*)\".*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

} // namespace

WebView::WebView(QObject* parent)
    : QObject(parent)
    , m_headers(std::make_unique<PageHeaders>()) {}

void WebView::createProfile() {
    // Made on first use by a view, so that the bridge alone starts no browser engine.
    if (m_profile)
        return;
    m_profile = new QQuickWebEngineProfile(this);
    m_profile->setOffTheRecord(true);
    m_profile->setUrlRequestInterceptor(m_headers.get());
    // The script collection's type is not public; its invokable interface is.
    if (auto* scripts = m_profile->property("userScripts").value<QObject*>()) {
        for (const QWebEngineScript& script : userScripts())
            QMetaObject::invokeMethod(scripts, "insert", Q_ARG(QWebEngineScript, script));
    }
    m_channel = new QQmlWebChannel(this);
    m_channel->registerObject(QStringLiteral("jsMessenger"), new JsMessenger(*this));
}

WebView::~WebView() {
    if (m_profile)
        m_profile->setUrlRequestInterceptor(nullptr);
}

QList<QWebEngineScript> WebView::userScripts() {
    return {makeScript(QStringLiteral("clickMessenger"), webChannelLibrary() + clickScript),
            makeScript(QStringLiteral("viewport"), viewportScript)};
}

QQuickWebEngineProfile* WebView::profile() {
    createProfile();
    return m_profile;
}

QQmlWebChannel* WebView::channel() {
    createProfile();
    return m_channel;
}

int WebView::scriptWorld() const {
    return QWebEngineScript::ApplicationWorld;
}

QStringList WebView::identifiers(const QString& outerHtml) {
    QStringList found;
    if (const auto match = buttonPattern().match(outerHtml); match.hasMatch())
        found.append(match.captured(1));
    if (const auto match = spanPattern().match(outerHtml); match.hasMatch())
        found.append(match.captured(1));
    return found;
}

void WebView::setRequest(const PageProtocol::Load& request) {
    m_request = request;
    m_headers->request = m_request;
    Q_EMIT requestChanged();
    reload();
}

void WebView::reload() {
    if (m_request.url.isValid())
        Q_EMIT loadRequested(m_request.url);
}

void WebView::receiveMessage(const QString& outerHtml) {
    if (const auto match = buttonPattern().match(outerHtml); match.hasMatch()) {
        Q_EMIT action(match.captured(1));
        if (!m_request.reloadActionId.isEmpty())
            reload();
    }
    if (const auto match = spanPattern().match(outerHtml); match.hasMatch())
        Q_EMIT action(match.captured(1));
}

#include "webview.moc"
