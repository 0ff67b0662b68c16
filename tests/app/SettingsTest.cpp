#include "app/core/Settings.h"
#include "app/core/QSettingsStore.h"
#include "app/core/SettingsPanel.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <climits>
#include <gtest/gtest.h>

using namespace larkspur;

namespace {

// Points the per-user configuration folder at a private temporary one for one test.
class PrivateConfig
{
  public:
    PrivateConfig()
        : m_old(qgetenv("XDG_CONFIG_HOME")), m_hadOld(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.path()));
    }
    ~PrivateConfig()
    {
        if (m_hadOld)
            qputenv("XDG_CONFIG_HOME", m_old);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    std::string path() const { return m_dir.path(); }

    // Values as a hand-edited or older file would hold them.
    void store(const QString& name, const QVariant& value) const
    {
        QSettings raw(QSettingsStore::userConfigFile(), QSettings::IniFormat);
        raw.setValue(name, value);
    }

  private:
    test::TempDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};

QString q(const char* name)
{
    return QString::fromLatin1(name);
}

} // namespace

TEST(SettingsIntegers, StrictAndLenient)
{
    EXPECT_EQ(strictInteger("455"), 455);
    EXPECT_EQ(strictInteger("  -8"), -8);
    EXPECT_EQ(strictInteger("+3"), 3);
    for (const char* bad : {"", " ", "30abc", "45 ", "4 5", "-", "0x10", "99999999999"})
        EXPECT_EQ(strictInteger(bad), std::nullopt) << bad;

    EXPECT_EQ(lenientInteger("30abc"), 30);
    EXPECT_EQ(lenientInteger("  -12x"), -12);
    EXPECT_EQ(lenientInteger("+7"), 7);
    EXPECT_EQ(lenientInteger("abc"), 0);
    EXPECT_EQ(lenientInteger(""), 0);
    EXPECT_EQ(lenientInteger("-"), 0);
    EXPECT_EQ(lenientInteger("99999999999"), INT_MAX);
    EXPECT_EQ(lenientInteger("-99999999999"), INT_MIN);
}

TEST(Settings, FirstStartDefaultsThenAllTwelveWritten)
{
    PrivateConfig config;
    const QString file = QString::fromStdString(config.path()) + q("/Larkspur/Larkspur.conf");
    ASSERT_EQ(QSettingsStore::userConfigFile(), file);

    QSettingsStore store;
    Settings s;
    EXPECT_TRUE(loadSettings(store, s).empty());
    EXPECT_FALSE(s.windowX.has_value());
    EXPECT_FALSE(s.windowY.has_value());
    EXPECT_EQ(s.windowWidth, 367);
    EXPECT_EQ(s.windowHeight, 457);
    EXPECT_EQ(s.panelWidth, 230);
    EXPECT_EQ(s.preamble, "lyrics");
    EXPECT_EQ(s.appendix, "");
    EXPECT_EQ(s.splitter, "-");
    EXPECT_EQ(s.entriesPerPage, 10);
    EXPECT_EQ(s.fontPointSize, 8);
    EXPECT_EQ(s.fadeSpeed, 50);
    EXPECT_EQ(s.volumeTrackPosition, 100);

    // The window closes after being placed and edited.
    s.windowX = 120;
    s.windowY = -4;
    s.windowWidth = 400;
    s.preamble = "songtext";
    s.appendix = "lyrics \xC3\xA4";
    s.fontPointSize = 11;
    s.volumeTrackPosition = 45;
    ASSERT_TRUE(saveSettings(store, s));

    QSettings raw(file, QSettings::IniFormat);
    for (const char* name : kSettingNames)
        EXPECT_TRUE(raw.contains(q(name))) << name;
    EXPECT_EQ(raw.value(q(kVolume)).toString(), q("450"));
    EXPECT_EQ(raw.value(q(kWindowXPosition)).toString(), q("120"));
    EXPECT_EQ(raw.value(q(kSplitter)).toString(), q("-"));

    // Next start, through a new store.
    QSettingsStore again;
    Settings loaded;
    EXPECT_TRUE(loadSettings(again, loaded).empty());
    EXPECT_EQ(loaded.windowX, 120);
    EXPECT_EQ(loaded.windowY, -4);
    EXPECT_EQ(loaded.windowWidth, 400);
    EXPECT_EQ(loaded.preamble, "songtext");
    EXPECT_EQ(loaded.appendix, "lyrics \xC3\xA4");
    EXPECT_EQ(loaded.fontPointSize, 11);
    EXPECT_EQ(loaded.volumeTrackPosition, 45);
}

TEST(Settings, StoredTextEdgeCases)
{
    PrivateConfig config;
    config.store(q(kVolume), q("455"));
    config.store(q(kFadeSpeed), q("30abc"));
    config.store(q(kPreambel), QString());
    config.store(q(kSplitter), q(""));
    config.store(q(kEntriesPerPage), q("many"));
    config.store(q(kWindowXSize), q("wide")); // not an integer: keeps its default
    config.store(q(kWindowYSize), q(" 500"));
    config.store(q(kPanelSize), QStringList{q("1"), q("2")}); // not text
    config.store(q(kFontSize), q("12"));                      // read after the rejected values

    QSettingsStore store;
    Settings s;
    EXPECT_EQ(loadSettings(store, s), (std::vector<std::string>{kWindowXSize}));
    EXPECT_EQ(s.volumeTrackPosition, 45);
    EXPECT_EQ(s.fadeSpeed, 30);
    EXPECT_EQ(s.preamble, "lyrics");
    EXPECT_EQ(s.splitter, "-");
    EXPECT_EQ(s.entriesPerPage, 1); // no number reads as 0, and a page holds at least one
    EXPECT_EQ(s.windowWidth, 367);
    EXPECT_EQ(s.windowHeight, 500);
    EXPECT_EQ(s.panelWidth, 230);
    EXPECT_EQ(s.fontPointSize, 12);
}

TEST(Settings, UnwritableLocationIsReportedNotThrown)
{
    PrivateConfig config;
    // A file where the settings folder should be: nothing can be created below it.
    test::writeFile(config.path() + "/Larkspur", "in the way");
    QSettingsStore store;
    Settings s;
    EXPECT_TRUE(loadSettings(store, s).empty());
    EXPECT_EQ(s.windowWidth, 367);
    bool saved = true;
    EXPECT_NO_THROW(saved = saveSettings(store, s));
    EXPECT_FALSE(saved);

    MapSettingsStore failing;
    failing.failWrites = true;
    EXPECT_FALSE(saveSettings(failing, s));
}

TEST(Settings, WriteOrderAndUnsetPositionRoundTrip)
{
    MapSettingsStore store;
    Settings s;
    s.windowY = 30;
    ASSERT_TRUE(saveSettings(store, s));
    EXPECT_EQ(store.writeOrder,
              std::vector<std::string>(kSettingNames.begin(), kSettingNames.end()));
    EXPECT_EQ(store.values[kWindowXPosition], "");

    Settings loaded;
    loaded.windowX = 7; // an empty stored value leaves what was there
    EXPECT_TRUE(loadSettings(store, loaded).empty());
    EXPECT_EQ(loaded.windowX, 7);
    EXPECT_EQ(loaded.windowY, 30);
}

TEST(SettingsPanel, NumbersReadLenientlyAndOutOfRangeOnesRefused)
{
    const struct
    {
        const char *entries, *fade;
        int entriesKept, fadeKept;
        const char* said;
    } cases[] = {
        {"30abc", " 7", 30, 7, ""},
        {"1000", "1", 1000, 1, ""},
        {"letters", "30", 25, 30, "Results per page must be 1 to 1000; kept 25."},
        {"1001", "0", 25, 70,
         "Results per page must be 1 to 1000; kept 25. Fade speed must be 1 to 1000; kept 70."},
        {"-2147483648", "99999999999", 25, 70,
         "Results per page must be 1 to 1000; kept 25. Fade speed must be 1 to 1000; kept 70."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entries) + " / " + c.fade);
        FormState state;
        state.EntriesPerPage = 25;
        state.FadeSpeed = 70;
        EXPECT_EQ(applyOptionEdits({"", "songtext", "", c.entries, c.fade}, state), c.said);
        EXPECT_EQ(state.EntriesPerPage, c.entriesKept);
        EXPECT_EQ(state.FadeSpeed, c.fadeKept);
        EXPECT_EQ(state.SplitterChar, "-");
        EXPECT_EQ(state.Preamble, "songtext");
    }
}

// Garbage numbers are pulled into their ranges on load, and so written back.
TEST(Settings, OutOfRangeNumbersArePulledIn)
{
    struct Case
    {
        const char* name;
        const char* stored;
        int Settings::*field;
        int loaded;
    };
    const Case cases[] = {
        {kWindowXSize, "2147483647", &Settings::windowWidth, 8192},
        {kWindowYSize, "-5", &Settings::windowHeight, 100},
        {kPanelSize, "0", &Settings::panelWidth, 20},
        {kEntriesPerPage, "-2147483648", &Settings::entriesPerPage, 1},
        {kFontSize, "100000", &Settings::fontPointSize, 96},
        {kFadeSpeed, "-1", &Settings::fadeSpeed, 1},
        {kVolume, "99999", &Settings::volumeTrackPosition, 100},
        {kVolume, "-70", &Settings::volumeTrackPosition, 0},
        {kEntriesPerPage, "25", &Settings::entriesPerPage, 25},
    };
    for (const auto& c : cases) {
        MapSettingsStore store;
        store.writeAll({{c.name, c.stored}});
        Settings s;
        EXPECT_TRUE(loadSettings(store, s).empty()) << c.name;
        EXPECT_EQ(s.*c.field, c.loaded) << c.name << " = " << c.stored;
    }
    MapSettingsStore store;
    store.writeAll({{kWindowXPosition, "2147483647"}, {kWindowYPosition, "-2147483648"}});
    Settings s;
    loadSettings(store, s);
    EXPECT_EQ(s.windowX, 16384);
    EXPECT_EQ(s.windowY, -16384);
}

// Absent or empty, the database is on; a stored value that reads as no number other than zero
// turns it off, on the side of sending nothing.
TEST(Settings, LyricsDatabaseSwitch)
{
    struct Case
    {
        const char* stored; // nullptr: never written
        bool on;
    } cases[] = {{nullptr, true}, {"", true},     {"0", false}, {" 0", false},
                 {"1", true},     {"yes", false}, {"2", true}};
    for (const Case& c : cases) {
        MapSettingsStore store;
        if (c.stored) store.values[kLyricsDatabase] = c.stored;
        Settings s;
        EXPECT_TRUE(loadSettings(store, s).empty());
        EXPECT_EQ(s.lyricsDatabase, c.on) << (c.stored ? c.stored : "absent");
        ASSERT_TRUE(saveSettings(store, s));
        EXPECT_EQ(store.values[kLyricsDatabase], c.on ? "1" : "0");
    }
}
