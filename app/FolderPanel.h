#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

#include "platform/FileURL.h"
#include "platform/Result.h"
#include "sorting/Controls.h"

class QWidget;

namespace shoebox {

// The folder chooser. Qt's dialogs hand back text, which cannot hold a name
// that is not UTF-8; the panel finds the bytes the user meant, or refuses
// the choice with a warning rather than act on a different path.
class FolderPanel final : public OpenPanel {
public:
    // Runs the dialog: the folder chosen, or an empty URL when cancelled.
    using Dialog = std::function<QUrl(QWidget* parent, const QString& title, const QUrl& start)>;

    // Without `dialog`, Qt's folder dialog (the desktop's own where Qt has one).
    explicit FolderPanel(QWidget* parent, Dialog dialog = {});

    // The next run is titled `title` and opens in `startFolder`, or the
    // nearest folder above it that exists and the dialog can show; in the
    // home folder without one.
    void prepare(QString title, std::optional<FileURL> startFolder);

    std::optional<FileURL> chooseFolder() override;

private:
    QWidget* parent_;
    Dialog dialog_;
    QString title_;
    std::optional<FileURL> startFolder_;
};

// The exact location of the folder a dialog answered with. Where the answer
// lost bytes that are not UTF-8 (shown as U+FFFD), they are found again in
// the file system; an answer that matches no name, or more than one, fails.
Result<FileURL> folderFromDialog(const QUrl& url);

} // namespace shoebox
