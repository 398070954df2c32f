#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include "app/MainWindow.h"
#include "app/QtControls.h"
#include "app/Settings.h"
#include "tests/support/Doubles.h"
#include "tests/support/Environment.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

QString text(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Runs `check` on the first modal window that opens, then closes it.
void onNextModal(std::function<void(QWidget*)> check)
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

// Guards remembering a choice that did not take or losing its bytes, forgetting the geometry, the settings living
// elsewhere than the XDG folder, or the panel opening elsewhere.
TEST(FolderMemoryTest, TheWindowRemembersFoldersThatTookAndOpensThereNextTime)
{
    TempDir dir;
    const std::string photos = dir.fill({"a.jpg"}, "photos"), destination = dir.makeFolder("sorted/caf\xE9 \xFF");
    {
        ScriptedOpenPanel panel;
        RecordingAlert alert;
        RecordingOutput output;
        MainWindow window(MainWindow::Overrides{&panel, &alert, nullptr, &output});
        auto* sourceButton = window.findChild<QAbstractButton*>("sourceFolderButton");
        for (const auto& folder :
             {std::optional(photos), std::optional(dir.makeFolder("empty")), std::optional<std::string>()}) {
            panel.chooseNext(folder ? std::optional(FileURL::fileURLWithPath(*folder)) : std::nullopt);
            sourceButton->click();
            EXPECT_TRUE(waitUntil([&] { return !window.controller().isListing(); }));
        }
        EXPECT_EQ(alert.shown.size(), 1u);
        panel.chooseNext(FileURL::fileURLWithPath(destination));
        window.findChild<QAbstractButton*>("destinationFolderButton")->click();
        window.resize(700, 500);
        window.close();
    }
    EXPECT_EQ(Settings().folder(FolderRole::Source), FileURL::fileURLWithPath(photos));
    EXPECT_EQ(Settings().folder(FolderRole::Destination), FileURL::fileURLWithPath(destination));
    EXPECT_EQ(Settings().fileName(), text(useScratchHome()) + "/.config/shoebox/shoebox.conf");

    MainWindow window; // the real folder panel
    EXPECT_EQ(window.size(), QSize(700, 500));
    for (const auto& [button, folder] :
         {std::pair{"sourceFolderButton", photos}, {"destinationFolderButton", dir / "sorted"}}) {
        QString opened;
        onNextModal([&](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal))
                opened = dialog->directory().absolutePath();
        });
        window.findChild<QAbstractButton*>(button)->click();
        EXPECT_EQ(opened, text(folder)) << button;
    }
    EXPECT_EQ(window.controller().sourceFolderPath(), std::nullopt) << "cancelled";
}

} // namespace
