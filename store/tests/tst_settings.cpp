#include "core/settingsstore.h"
#include "store/appsettings.h"
#include "store/reviewpreferences.h"
#include "store/userstore.h"
#include "temporarysettings.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

void storeRaw(const QString& key, const QVariant& value) {
    auto store = openSettingsStore();
    store->setValue(key, value);
    store->sync();
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TemporarySettings> m_settings;

private Q_SLOTS:
    void init() { m_settings = std::make_unique<TemporarySettings>(); }
    void cleanup() { m_settings.reset(); }

    // What a stored value reads as: written blobs as written, anything else as the default.
    void storedValuesDecodeOrFallBack_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& key, const QVariant& stored,
                            const QString& expected) {
            QTest::newRow(name) << key << stored << expected;
        };
        const QString ids = u"PresetsEnabledIds"_s;
        const QString prefs = u"PreferencesSettings"_s;
        const QString user = u"UserSettings"_s;
        row("nothing stored", prefs, {}, u"command+option+c"_s);
        row("ids", ids, QByteArray(R"({"presetIds":[3,7,12]})"), u"3,7,12"_s);
        row("null hotkey", prefs, QByteArray(R"({"windowHotkey": null})"), u"<none>"_s);
        row("ids missing", ids, QByteArray("{}"), QString());
        row("text, not a blob", prefs, u"{\"windowHotkey\":\"x\"}"_s, u"command+option+c"_s);
        row("user without key", user, QByteArray(R"({"user":{"email":"a@b.c","userId":1}})"),
            u"signed out"_s);
        row("user", user, QByteArray(R"({"user":{"email":"a@b.c","userId":1,"deviceKey":"k"}})"),
            u"a@b.c k"_s);
    }
    void storedValuesDecodeOrFallBack() {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, expected);
        if (stored.isValid())
            storeRaw(key, stored);
        const AppSettings settings;
        QString value;
        if (key == u"PresetsEnabledIds") {
            QStringList ids;
            for (const qint64 id : settings.presetsSettings().presetIds)
                ids << QString::number(id);
            value = ids.join(u',');
        } else if (key == u"PreferencesSettings") {
            value = settings.preferencesSettings().windowHotkey.value_or(u"<none>"_s);
        } else {
            const UserStore store;
            value = store.isAuthorised() ? store.user()->email + u' ' + store.user()->deviceKey
                                         : u"signed out"_s;
        }
        QCOMPARE(value, expected);
    }

    // The view a complete answer opens on: the user's choice per prompt, else by what it does.
    void reviewDefaultsAndChoices_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("changes");
        const auto row = [](const char* name, const QString& prompt, bool changes,
                            const QVariant& stored = {}, const QString& instruction = {}) {
            QTest::newRow(name) << prompt << instruction << stored << changes;
        };
        row("grammar", u"Fix grammar"_s, true);
        row("by instruction", u"Tidy"_s, true, {}, u"Proofread this text"_s);
        row("translation", u"Translate to English"_s, false, {}, u"Correct and translate"_s);
        row("turned off", u"Fix grammar"_s, false, false);
        row("turned on", u"Summarize"_s, true, true);
        row("corrupt record", u"Fix grammar"_s, true, u"x"_s);
    }
    void reviewDefaultsAndChoices() {
        QFETCH(QString, name);
        QFETCH(QString, instruction);
        QFETCH(QVariant, stored);
        QFETCH(bool, changes);
        ReviewPreferences preferences;
        PresetDto prompt;
        prompt.id = 5;
        prompt.name = name;
        prompt.userMessage = instruction;
        if (stored.typeId() == QMetaType::Bool)
            preferences.setShowsChanges(5, stored.toBool());
        else if (stored.isValid())
            storeRaw(ReviewPreferences::key, QByteArray(R"({"showChanges":{"5":"x"}})"));
        QCOMPARE(preferences.showsChanges(prompt), changes);
        QVERIFY(!preferences.showsChanges(std::nullopt)); // a typed command
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
