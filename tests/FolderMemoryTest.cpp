#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include "app/MainWindow.h"
#include "app/QtControls.h"
#include "app/Settings.h"
#include "tests/support/Doubles.h"
#include "tests/support/Environment.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

QString text(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Runs `check` on the first modal window that opens, then closes it.
void onNextModal(const std::function<void(QWidget*)>& check)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, check] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            check(modal);
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        }
    });
    poll->start(5);
}

// Guards the panel's answer (text with U+FFFD, or an escaped URL) losing bytes, or an ambiguous one taken.
TEST(FolderPanelTest, AnswersTheBytesOfTheFolderTheUserChose)
{
    TempDir dir;
    const std::string latin1 = dir.makeFolder("caf\xE9/DCIM \xFF"), plain = dir.makeFolder("50% off #1 été"),
                      replacementCharacter = dir.makeFolder("x \xEF\xBF\xBD"); // a real U+FFFD
    const auto asText = [](const std::string& path) { return QUrl::fromLocalFile(text(path)); };
    const auto asUrl = [](const std::string& path) {
        return QUrl::fromEncoded(QByteArray::fromStdString(FileURL::fileURLWithPath(path).absoluteString()));
    };
    for (const std::string& folder : {latin1, plain, replacementCharacter}) {
        for (const QUrl& answer : {asText(folder), asUrl(folder)}) {
            FolderPanel panel(nullptr, [&](QWidget*, const QString&, const QUrl&) { return answer; });
            const auto chosen = panel.chooseFolder();
            EXPECT_EQ(chosen ? chosen->path() : "(none)", folder) << answer.toString().toStdString();
        }
    }
    dir.makeFolder("caf\xE8/DCIM \xFF"); // shows as "caf\uFFFD/DCIM \uFFFD" too
    FolderPanel panel(nullptr, [&](QWidget*, const QString&, const QUrl&) { return asText(latin1); });
    QString warning;
    onNextModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            warning = box->text() + " " + box->informativeText();
    });
    EXPECT_EQ(panel.chooseFolder(), std::nullopt);
    EXPECT_TRUE(warning.contains("cannot be told apart")) << warning.toStdString();
}

// Guards the panel opening anywhere but the nearest folder that exists, or home.
TEST(FolderPanelTest, OpensInTheNearestFolderItCanShow)
{
    TempDir dir;
    const std::string shown = dir.makeFolder("photos");
    const std::optional<FileURL> starts[] = {FileURL::fileURLWithPath(shown),
                                             FileURL::fileURLWithPath(dir.makeFolder("photos/caf\xE9/DCIM")),
                                             FileURL::fileURLWithPath(dir / "photos/gone/deeper"), std::nullopt};
    for (const auto& start : starts) {
        QUrl opened;
        FolderPanel panel(nullptr, [&](QWidget*, const QString&, const QUrl& at) {
            opened = at;
            return QUrl();
        });
        panel.prepare("Choose", start);
        EXPECT_EQ(panel.chooseFolder(), std::nullopt);
        EXPECT_EQ(opened.toLocalFile(), start ? text(shown) : QDir::homePath());
    }
}

using FolderMemoryTest = WindowFixture<FailingFileManager>;

// Guards remembering a choice that did not take or losing its bytes, forgetting the geometry, where the last moves
// went or the option to move companions together, the settings living elsewhere than the XDG folder, the panel
// opening elsewhere, or a relative or null-holding folder read back.
TEST_F(FolderMemoryTest, TheWindowRemembersFoldersThatTookAndOpensThereNextTime)
{
    const std::string photos = dir.fill({"a.jpg", "b.jpg", "c.jpg"}, "photos"),
                      destination = dir.makeFolder("sorted/caf\xE9 \xFF");
    choose("sourceFolderButton", photos);
    choose("sourceFolderButton", dir.makeFolder("empty"));
    panel.chooseNext(std::nullopt);
    click("sourceFolderButton");
    EXPECT_EQ(alert.shown.size(), 1u);
    choose("destinationFolderButton", destination);
    choose("sourceFolderButton", photos);
    for (auto [one, two] : {std::pair{"Trips", "2024 été"}, {"Family", ""}}) {
        find<QComboBox>("subFolderOneBox")->setEditText(one);
        find<QComboBox>("subSubFolder")->setEditText(two);
        ASSERT_TRUE(moveAs("x"));
    }
    auto* together = find<QAction>("actionMoveCompanions");
    EXPECT_FALSE(together->isChecked()) << "off until turned on";
    together->trigger();
    EXPECT_TRUE(window.controller().movesCompanionsTogether());
    window.resize(700, 500);
    window.close();
    EXPECT_EQ(Settings().folder(FolderRole::Source), url(photos));
    EXPECT_EQ(Settings().folder(FolderRole::Destination), url(destination));
    EXPECT_EQ(Settings().fileName(), ::text(useScratchHome()) + "/.config/shoebox/shoebox.conf");
    EXPECT_TRUE(Settings().moveCompanionsTogether());

    MainWindow next; // the real folder panel
    EXPECT_EQ(next.size(), QSize(700, 500));
    EXPECT_TRUE(next.findChild<QAction*>("actionMoveCompanions")->isChecked() &&
                next.controller().movesCompanionsTogether());
    QStringList items;
    for (QAction* item : next.findChild<QMenu*>("menuRecentDestinations")->actions())
        if (item->isVisible())
            items << item->text() + " " + item->shortcut().toString();
    EXPECT_EQ(items.join(", "), "Family Ctrl+1, Trips / 2024 été Ctrl+2");
    next.findChild<QAction*>("actionRecentDestination2")->trigger();
    EXPECT_EQ(next.findChild<QComboBox*>("subFolderOneBox")->currentText() + "/" +
                  next.findChild<QComboBox*>("subSubFolder")->currentText(),
              "Trips/2024 été");
    for (const auto& [button, folder] :
         {std::pair{"sourceFolderButton", photos}, {"destinationFolderButton", dir / "sorted"}}) {
        QString opened;
        onNextModal([&](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal))
                opened = dialog->directory().absolutePath();
        });
        next.findChild<QAbstractButton*>(button)->click();
        EXPECT_EQ(opened, ::text(folder)) << button;
    }
    EXPECT_EQ(next.controller().sourceFolderPath(), std::nullopt) << "cancelled";

    QSettings(QSettings::NativeFormat, QSettings::UserScope, "shoebox", "shoebox")
        .setValue("folders/source", QByteArray("photos"));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "shoebox", "shoebox")
        .setValue("folders/destination", QByteArray::fromStdString(photos + '\0' + "/x"));
    EXPECT_EQ(Settings().folder(FolderRole::Source), std::nullopt) << "relative";
    EXPECT_EQ(Settings().folder(FolderRole::Destination), std::nullopt) << "holding a null byte";
}

// Guards a FIFO in place of the settings file hanging the program before its window shows (QSettings opens it and
// waits for a writer), being replaced by a regular file, or passing without a word.
TEST(SettingsFileTest, ASettingsFileThatIsNotARegularFileIsLeftAlone)
{
    TempDir dir;
    const std::string home = dir.makeFolder("home"), file = dir.makeFolder("home/.config/shoebox") + "/shoebox.conf";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ProgramRun program(home, {QString::fromStdString(dir.fill({"a.jpg"}))});
    EXPECT_TRUE(program.waitFor("ready")) << "hangs before its window shows";
    EXPECT_EQ(program.end(SIGTERM), "0 0");
    struct stat status {};
    EXPECT_TRUE(::lstat(file.c_str(), &status) == 0 && S_ISFIFO(status.st_mode)) << "left as it was";
    QByteArrayList ours; // Qt's own lines aside
    for (const QByteArray& line : program.errors.split('\n'))
        if (line.startsWith("shoebox: "))
            ours << line;
    EXPECT_EQ(ours.join('\n').toStdString(),
              "shoebox: ignoring the settings file " + file + ": it is not a regular file");
}

// Qt reads the screens and the scale factor once per process, so the window's checks on a small screen run in a
// process of their own: this test program again, with only these tests, on an offscreen screen of 1600x1000 pixels at
// scale 2 (800x500 in the window's units).
bool onSmallScreen()
{
    return qEnvironmentVariableIsSet("SHOEBOX_TEST_SMALL_SCREEN");
}

void runOnSmallScreen()
{
    TempDir dir;
    const std::string config = writeFile(dir / "screens.json", R"({"screens": [{"name": "small", "x": 0, "y": 0,
        "width": 1600, "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + text(config));
    environment.insert("QT_SCALE_FACTOR", "2");
    environment.insert("SHOEBOX_TEST_SMALL_SCREEN", "1");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QString test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=WindowGeometryTest." + test});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString log = child.readAll();
    EXPECT_TRUE(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0) << log.toStdString();
    EXPECT_TRUE(log.contains("[  PASSED  ] 1 test")) << log.toStdString();
}

// The window's place and size in device pixels, for messages.
std::string devicePixels(const QWidget& window)
{
    const QRect frame = window.geometry();
    const qreal ratio = window.devicePixelRatioF();
    return QString("%1x%2 at %3,%4")
        .arg(frame.width() * ratio)
        .arg(frame.height() * ratio)
        .arg(frame.x() * ratio)
        .arg(frame.y() * ratio)
        .toStdString();
}

// Guards the first window sized for a large screen whatever the screen (2400x1640 pixels on a 1600x1000 screen at
// scale 2), a layout that cannot shrink that far, and a window remembered on a larger or another screen (since
// unplugged) opening off screen.
TEST(WindowGeometryTest, TheWindowFitsASmallScreenAtScaleTwoWhereverItWasRemembered)
{
    if (!onSmallScreen())
        return runOnSmallScreen();
    ASSERT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QRect& remembered :
         {QRect(), QRect(1200, 700, 640, 440), QRect(100, 50, 1600, 1000), QRect(-900, 0, 600, 440)}) {
        if (remembered.isValid()) {
            QWidget elsewhere;
            elsewhere.setGeometry(remembered);
            ASSERT_TRUE(Settings().rememberWindowGeometry(elsewhere.saveGeometry()));
        }
        MainWindow window;
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(free.contains(window.geometry())) << devicePixels(window);
        if (!remembered.isValid()) {
            EXPECT_LE(window.width(), free.width() * 0.9) << devicePixels(window);
            EXPECT_LE(window.height(), free.height() * 0.9) << devicePixels(window);
        } else if (remembered.width() < free.width()) {
            EXPECT_EQ(window.size(), remembered.size()) << "a size that fits is kept";
        }
    }
}

} // namespace
