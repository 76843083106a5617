// The settings store on its own: where the values land, their exact text,
// defaults, the minimised case, unusable stored values and a store that
// cannot be written.
#include "settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using vexo::StoredSettings;

namespace vexo {

bool operator==(const StoredSettings& a, const StoredSettings& b) {
  return a.mainLeft == b.mainLeft && a.mainTop == b.mainTop && a.bit16 == b.bit16 &&
         a.size == b.size && a.customSize == b.customSize && a.digits3 == b.digits3;
}

char* toString(const StoredSettings& s) {
  return QTest::toString(QStringLiteral("{%1, %2, %3, %4, \"%5\", %6}")
                             .arg(s.mainLeft)
                             .arg(s.mainTop)
                             .arg(s.bit16)
                             .arg(s.size)
                             .arg(QString::fromStdString(s.customSize))
                             .arg(s.digits3));
}

}  // namespace vexo

Q_DECLARE_METATYPE(vexo::StoredSettings)

class SettingsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir configHome_;
  int stamp_ = 0;

  QString storePath() const { return configHome_.filePath(QStringLiteral("VEXO.conf")); }

  QByteArray storeText() const {
    QFile f(storePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
  }

  // Puts `text` in the store as another run (or the user) would have left it.
  // Every file gets its own time stamp so that QSettings never takes it for
  // the one it read before.
  void writeStore(const QByteArray& text) {
    QFile f(storePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(text), text.size());
    f.close();
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(++stamp_),
                          QFileDevice::FileModificationTime));
  }

 private slots:
  void initTestCase() {
    QVERIFY(configHome_.isValid());
    // Before any QSettings exists, so that Qt takes this as the user's
    // configuration directory.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome_.path()));
  }

  void init() {
    QFile::remove(storePath());
    QFile::remove(storePath() + QStringLiteral(".lock"));
  }

  void firstRunGetsDefaultsAndWritesNothing() {
    QCOMPARE(vexo::loadSettings(), (StoredSettings{1000, 1000, 0, 0, "", 0, "", 0}));
    QVERIFY(!QFile::exists(storePath()));
  }

  void valuesAreFiledUnderTheTitleAsPlainText() {
    QVERIFY(vexo::saveSettings({2985, -150, 1, 1, "", 0, "", 0}, false));
    QCOMPARE(storeText(), QByteArray("[Checks]\nBit16=1\nCustomSize=\nDigits3=0\nSize=1\n\n"
                                     "[Settings]\nMainLeft=2985\nMainTop=-150\n"));
    QSettings direct(QSettings::NativeFormat, QSettings::UserScope, vexo::kAppTitle);
    QCOMPARE(direct.fileName(), storePath());
    QCOMPARE(direct.value("Settings/MainLeft").toString(), QStringLiteral("2985"));
  }

  void roundTrip_data() {
    QTest::addColumn<StoredSettings>("values");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("defaults") << StoredSettings{1000, 1000, 0, 0, "", 0, "", 0}
                              << QByteArray(
                                     "[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=0\n\n"
                                     "[Settings]\nMainLeft=1000\nMainTop=1000\n");
    QTest::newRow("moved, short naming, 1.2M")
        << StoredSettings{4500, 30, 1, 1, "", 0, "", 0}
        << QByteArray(
               "[Checks]\nBit16=1\nCustomSize=\nDigits3=0\nSize=1\n\n[Settings]\nMainLeft="
               "4500\nMainTop=30\n");
    QTest::newRow("third state, off screen")
        << StoredSettings{-30000, 1234.5, 2, 0, "", 0, "", 0}
        << QByteArray(
               "[Checks]\nBit16=2\nCustomSize=\nDigits3=0\nSize=0\n\n[Settings]\nMainLeft=-"
               "30000\nMainTop=1234.5\n");
  }

  // The size box's text as QSettings files it: UTF-8, quoted where it holds
  // blanks at an end or a comma.
  void roundTripOfTheSizeBox_data() {
    QTest::addColumn<StoredSettings>("values");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("preset") << StoredSettings{1000, 1000, 0, 2, "25MB (メール)", 1, "", 0}
                            << QByteArray("[Checks]\nBit16=0\nCustomSize=25MB (\xe3\x83\xa1\xe3"
                                          "\x83\xbc\xe3\x83\xab)\nDigits3=1\nSize=2\n\n"
                                          "[Settings]\nMainLeft=1000\nMainTop=1000\n");
    QTest::newRow("typed") << StoredSettings{1000, 1000, 1, 0, " 1,457,664 ", 0, "", 0}
                           << QByteArray("[Checks]\nBit16=1\nCustomSize=\" 1,457,664 \"\n"
                                         "Digits3=0\nSize=0\n\n"
                                         "[Settings]\nMainLeft=1000\nMainTop=1000\n");
  }

  void roundTripOfTheSizeBox() { roundTrip(); }

  void roundTrip() {
    QFETCH(StoredSettings, values);
    QFETCH(QByteArray, text);
    QVERIFY(vexo::saveSettings(values, false));
    QCOMPARE(storeText(), text);
    QCOMPARE(vexo::loadSettings(), values);
  }

  void numberTextIsThePlainConversion() {
    QCOMPARE(vexo::numberText(1000), std::string("1000"));
    QCOMPARE(vexo::numberText(1234.5), std::string("1234.5"));
    QCOMPARE(vexo::numberText(-150), std::string("-150"));
    QCOMPARE(vexo::numberText(0.1), std::string("0.1"));
    QCOMPARE(vexo::numberText(-0.0), std::string("0"));
    QCOMPARE(vexo::numberText(16777216), std::string("16777216"));
    QCOMPARE(vexo::numberText(123456789), std::string("123456792"));  // single precision
    QCOMPARE(vexo::numberText(2985.00001), std::string("2985"));
  }

  void minimisedKeepsTheStoredPosition() {
    writeStore("[Settings]\nMainLeft=3000\nMainTop=4500\n[Checks]\nBit16=0\nSize=0\n");
    QVERIFY(vexo::saveSettings({-32000, -32000, 1, 1, "", 0, "", 0}, true));
    QCOMPARE(storeText(), QByteArray("[Checks]\nBit16=1\nCustomSize=\nDigits3=0\nSize=1\n\n"
                                     "[Settings]\nMainLeft=3000\nMainTop=4500\n"));
    QCOMPARE(vexo::loadSettings(), (StoredSettings{3000, 4500, 1, 1, "", 0, "", 0}));
  }

  void minimisedOnFirstRunStoresOnlyTheSwitches() {
    QVERIFY(vexo::saveSettings({-32000, -32000, 0, 1, "", 0, "", 0}, true));
    QCOMPARE(storeText(), QByteArray("[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=1\n"));
    QCOMPARE(vexo::loadSettings(), (StoredSettings{1000, 1000, 0, 1, "", 0, "", 0}));
  }

  // One key at a time holds `text`; the other three hold usable values that
  // must survive.
  void storedValues_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<StoredSettings>("expected");
    const StoredSettings good{2000, 3000, 1, 1, "", 0, "", 0};
    auto with = [&](auto change) {
      StoredSettings s = good;
      change(s);
      return s;
    };
    const auto leftDefault = with([](auto& s) { s.mainLeft = 1000; });
    const auto topDefault = with([](auto& s) { s.mainTop = 1000; });
    const auto bit16Default = with([](auto& s) { s.bit16 = 0; });
    const auto sizeDefault = with([](auto& s) { s.size = 0; });

    // Unusable: the key's default, the rest as stored.
    QTest::newRow("left not a number") << "MainLeft" << QByteArray("abc") << leftDefault;
    QTest::newRow("left empty") << "MainLeft" << QByteArray("") << leftDefault;
    QTest::newRow("left decimal comma") << "MainLeft" << QByteArray("1,5") << leftDefault;
    QTest::newRow("left hex") << "MainLeft" << QByteArray("0x10") << leftDefault;
    QTest::newRow("left nan") << "MainLeft" << QByteArray("nan") << leftDefault;
    QTest::newRow("left inf") << "MainLeft" << QByteArray("-inf") << leftDefault;
    QTest::newRow("left beyond single") << "MainLeft" << QByteArray("1e40") << leftDefault;
    QTest::newRow("left beyond a window")
        << "MainLeft" << QByteArray("251658240") << leftDefault;
    QTest::newRow("top with unit") << "MainTop" << QByteArray("12px") << topDefault;
    QTest::newRow("top full-width digits")
        << "MainTop" << QByteArray("\xef\xbc\x91\xef\xbc\x92") << topDefault;
    QTest::newRow("bit16 3") << "Bit16" << QByteArray("3") << bit16Default;
    QTest::newRow("bit16 -1") << "Bit16" << QByteArray("-1") << bit16Default;
    QTest::newRow("bit16 fraction") << "Bit16" << QByteArray("1.0") << bit16Default;
    QTest::newRow("bit16 beyond 16 bits") << "Bit16" << QByteArray("65537") << bit16Default;
    QTest::newRow("bit16 word") << "Bit16" << QByteArray("true") << bit16Default;
    QTest::newRow("size 2") << "Size" << QByteArray("2") << sizeDefault;
    QTest::newRow("size -1") << "Size" << QByteArray("-1") << sizeDefault;
    QTest::newRow("size empty") << "Size" << QByteArray("") << sizeDefault;
    QTest::newRow("size list") << "Size" << QByteArray("0, 1") << sizeDefault;

    // Usable, though not as this program writes them.
    QTest::newRow("left padded") << "MainLeft" << QByteArray(" 300 ")
                                 << with([](auto& s) { s.mainLeft = 300; });
    QTest::newRow("left exponent") << "MainLeft" << QByteArray("1e3")
                                   << with([](auto& s) { s.mainLeft = 1000; });
    QTest::newRow("left single precision") << "MainLeft" << QByteArray("0.1")
                                           << with([](auto& s) { s.mainLeft = 0.1f; });
    QTest::newRow("left at the limit") << "MainLeft" << QByteArray("-251658225")
                                       << with([](auto& s) { s.mainLeft = -251658225.0f; });
    QTest::newRow("bit16 plus sign") << "Bit16" << QByteArray("+2")
                                     << with([](auto& s) { s.bit16 = 2; });
    QTest::newRow("size 0 stored") << "Size" << QByteArray("0") << sizeDefault;
  }

  void storedValues() {
    QFETCH(QString, key);
    QFETCH(QByteArray, text);
    QFETCH(StoredSettings, expected);
    auto line = [&](const char* name, const char* value) {
      return QByteArray(name) + '=' + (key == QLatin1String(name) ? text : QByteArray(value)) + '\n';
    };
    writeStore("[Settings]\n" + line("MainLeft", "2000") + line("MainTop", "3000") +
               "[Checks]\n" + line("Bit16", "1") + line("Size", "1"));
    QCOMPARE(vexo::loadSettings(), expected);
  }

  void unusableValuesAreReplacedOnTheNextSave() {
    writeStore("[Settings]\nMainLeft=abc\nMainTop=1e40\n[Checks]\nBit16=7\nSize=x\n");
    const StoredSettings loaded = vexo::loadSettings();
    QCOMPARE(loaded, (StoredSettings{1000, 1000, 0, 0, "", 0, "", 0}));
    QVERIFY(vexo::saveSettings(loaded, false));
    QCOMPARE(storeText(), QByteArray("[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=0\n\n"
                                     "[Settings]\nMainLeft=1000\nMainTop=1000\n"));
  }

  void otherKeysInTheStoreAreKept() {
    writeStore("[Other]\nKeep=this\n");
    QVERIFY(vexo::saveSettings({1000, 1000, 0, 0, "", 0, "", 0}, false));
    QCOMPARE(
        storeText(),
        QByteArray("[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=0\n\n[Other]\nKeep=this\n\n"
                   "[Settings]\nMainLeft=1000\nMainTop=1000\n"));
  }

  void unwritableStoreIsReportedNotThrown() {
    // A directory where the file should be: nothing can be read or written
    // there, whoever runs the test.
    QVERIFY(QDir(configHome_.path()).mkdir(QStringLiteral("VEXO.conf")));
    QCOMPARE(vexo::loadSettings(), (StoredSettings{1000, 1000, 0, 0, "", 0, "", 0}));
    QVERIFY(!vexo::saveSettings({2000, 3000, 1, 1, "", 0, "", 0}, false));
    QVERIFY(QFileInfo(storePath()).isDir());
    QVERIFY(QDir(storePath()).isEmpty());
    QVERIFY(QDir(configHome_.path()).rmdir(QStringLiteral("VEXO.conf")));
  }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
