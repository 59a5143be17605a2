#include "core/settingsstore.h"
#include "service/userdto.h"
#include "store/appsettings.h"
#include "store/userstore.h"
#include "temporarysettings.h"

#include <QtTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void storeRaw(const QString& key, const QVariant& value) {
    auto store = openSettingsStore();
    store->setValue(key, value);
    store->sync();
}

/** Runs f with standard output redirected, and answers what it printed. */
template <typename F>
QString capturedStdout(F f) {
    QTemporaryFile file;
    if (!file.open())
        qFatal("no temporary file");
    std::fflush(stdout);
    const int saved = dup(fileno(stdout));
    dup2(file.handle(), fileno(stdout));
    f();
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    file.seek(0);
    return QString::fromUtf8(file.readAll());
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TemporarySettings> m_settings;

private Q_SLOTS:
    void init() { m_settings = std::make_unique<TemporarySettings>(); }
    void cleanup() { m_settings.reset(); }

    void emptyStoreGivesDefaults() {
        const AppSettings settings;
        QVERIFY(!settings.userSettings().user);
        QVERIFY(settings.presetsSettings().presetIds.isEmpty());
        QCOMPARE(settings.preferencesSettings().windowHotkey, u"command+option+c"_s);
        QVERIFY(!UserStore().isAuthorised());
    }

    void storedBlobsDecodeAsWritten() {
        storeRaw(u"PreferencesSettings"_s, QByteArray(R"({"windowHotkey": null})"));
        storeRaw(u"PresetsEnabledIds"_s, QByteArray(R"({"presetIds":[3,7,12]})"));
        const AppSettings settings;
        QCOMPARE(settings.preferencesSettings().windowHotkey, std::nullopt);
        QCOMPARE(settings.presetsSettings().presetIds, (QList<qint64>{3, 7, 12}));

        storeRaw(u"PreferencesSettings"_s, QByteArray("{}"));
        QCOMPARE(settings.preferencesSettings().windowHotkey, std::nullopt);
    }

    void undecodableBlobReadsAsDefaultAndSaysWhy() {
        storeRaw(u"PresetsEnabledIds"_s, QByteArray("{}"));
        QList<qint64> ids{1};
        const QString printed =
            capturedStdout([&] { ids = AppSettings().presetsSettings().presetIds; });
        QVERIFY(ids.isEmpty());
        QVERIFY2(printed.contains(u"presetIds"_s), qPrintable(printed));
        QVERIFY(printed.endsWith(u'\n'));

        storeRaw(u"PresetsEnabledIds"_s, QByteArray(R"({"presetIds":[1.5]})"));
        QVERIFY(AppSettings().presetsSettings().presetIds.isEmpty());
    }

    void nonBlobValuesReadAsDefaults() {
        for (const QString& key :
             {u"UserSettings"_s, u"PresetsEnabledIds"_s, u"PreferencesSettings"_s})
            storeRaw(key, QStringLiteral(R"({"presetIds":[1],"windowHotkey":"x"})"));
        const AppSettings settings;
        QVERIFY(!settings.userSettings().user);
        QVERIFY(settings.presetsSettings().presetIds.isEmpty());
        QCOMPARE(settings.preferencesSettings().windowHotkey, u"command+option+c"_s);
    }

    void writesAreSharedAndExact() {
        AppSettings first;
        const AppSettings second;
        QSignalSpy changed(&first, &AppSettings::objectDidChange);
        first.setPresetsSettings({{3, 7}});
        first.setPreferencesSettings({QString()});
        QCOMPARE(changed.size(), 2);
        QCOMPARE(second.presetsSettings().presetIds, (QList<qint64>{3, 7}));
        QCOMPARE(second.preferencesSettings().windowHotkey, QString());
        QCOMPARE(openSettingsStore()->value(u"PresetsEnabledIds"_s).toByteArray(),
                 QByteArray(R"({"presetIds":[3,7]})"));

        first.setUserSettings({});
        QCOMPARE(openSettingsStore()->value(u"UserSettings"_s).toByteArray(), QByteArray("{}"));
    }

    void userStoreSignsInAndOut() {
        UserStore store;
        store.setUser(UserDto{u"a@example.org"_s, 42, std::nullopt});
        QVERIFY(store.isAuthorised());
        QCOMPARE(store.user()->deviceKey, QString()); // an absent key becomes ""

        store.setUser(UserDto{u"b@example.org"_s, 7, u"key-b"_s});
        const UserStore restarted;
        QVERIFY(restarted.isAuthorised());
        QCOMPARE(*restarted.user(), (User{u"b@example.org"_s, 7, u"key-b"_s}));

        store.setUser(std::nullopt);
        QVERIFY(!store.isAuthorised());
        QVERIFY(!UserStore().isAuthorised());
    }

    void storedUserWithoutDeviceKeyStartsSignedOut() {
        storeRaw(u"UserSettings"_s, QByteArray(R"({"user":{"email":"a@b.c","userId":1}})"));
        capturedStdout([] { QVERIFY(!UserStore().isAuthorised()); });
        storeRaw(u"UserSettings"_s,
                 QByteArray(R"({"user":{"email":"a@b.c","userId":1,"deviceKey":"k"}})"));
        QVERIFY(UserStore().isAuthorised());
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
