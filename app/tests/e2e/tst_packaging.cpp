#include "desktopapp.h"
#include "serviceprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

/*
 * The Debian packages as a user installs them: built with cpack from this build,
 * unpacked with dpkg-deb, and the unpacked orvane-service and orvane run against
 * each other.
 */

class PackagingTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    [[nodiscard]] QString appRoot() const { return m_dir.filePath("orvane"); }
    [[nodiscard]] QString serviceRoot() const { return m_dir.filePath("orvane-service"); }

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable("dpkg-deb").isEmpty())
            QSKIP("needs dpkg-deb");
        QVERIFY(m_dir.isValid());
        int code = 0;
        const QByteArray output = runTool(
            "cpack", {"--config", ORVANE_BUILD_DIR "/CPackConfig.cmake", "-B", m_dir.path()}, &code,
            {}, 180000);
        QVERIFY2(code == 0, output.constData());
        // One package each, unpacked into a root of its own.
        for (const QString& package :
             {QStringLiteral("orvane"), QStringLiteral("orvane-service")}) {
            const QStringList debs =
                QDir(m_dir.path()).entryList({package + "_*.deb"}, QDir::Files);
            QVERIFY2(debs.size() == 1, qPrintable(debs.join(' ')));
            runTool("dpkg-deb", {"-x", m_dir.filePath(debs.first()), m_dir.filePath(package)},
                    &code);
            QCOMPARE(code, 0);
        }
    }

    void eachPackageHoldsItsOwnFiles() {
        for (const char* file : {"usr/bin/orvane", "usr/bin/orvane-webpage", "usr/bin/orvane-cli",
                                 "usr/share/applications/org.orvane.Orvane.desktop",
                                 "usr/share/icons/hicolor/scalable/apps/org.orvane.Orvane.svg",
                                 "usr/share/metainfo/org.orvane.Orvane.metainfo.xml"})
            QVERIFY2(QFileInfo::exists(QDir(appRoot()).filePath(file)), qPrintable(file));
        for (const char* file :
             {"usr/bin/orvane-service", "usr/lib/systemd/system/orvane-service.service"})
            QVERIFY2(QFileInfo::exists(QDir(serviceRoot()).filePath(file)), qPrintable(file));
        QVERIFY(!QFileInfo::exists(QDir(appRoot()).filePath("usr/bin/orvane-service")));
        QVERIFY(!QFileInfo::exists(QDir(serviceRoot()).filePath("usr/bin/orvane")));
    }

    void metainfoValidates() {
        int code = 0;
        const QByteArray output =
            runTool("appstreamcli",
                    {"validate", "--no-net",
                     QDir(appRoot()).filePath("usr/share/metainfo/org.orvane.Orvane.metainfo.xml")},
                    &code);
        QVERIFY2(code == 0, output.constData());
    }

    void unpackedServiceAndAppWorkTogether() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the X server that scripts/test starts");
        ServiceProcess service({}, {}, QDir(serviceRoot()).filePath("usr/bin/orvane-service"));
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QCOMPARE(service.request("GET", "/healthz").status, 200);
        const HttpResult signIn = service.request("GET", "/web_view/login");
        QCOMPARE(signIn.status, 200);

        // A fresh configuration: the unpacked app asks its service for a sign-in.
        DesktopApp app(QDir(appRoot()).filePath("usr/bin/orvane"));
        QVERIFY(app.start(service.url(QString()).toString()));
        QTRY_VERIFY_WITH_TIMEOUT(app.shows(WindowRoles::signIn), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(service.log().contains("/web_view/login"), 20000);
    }
};

QTEST_MAIN(PackagingTest)
#include "tst_packaging.moc"
