#pragma once

#include <QByteArray>
#include <QSettings>
#include <memory>
#include <optional>

#include "platform/FileURL.h"
#include "platform/Result.h"

namespace shoebox {

enum class FolderRole { Source, Destination };

// What Shoebox remembers between runs, and nothing else: the folder last
// chosen for each role and the window's size and place. Kept in
// $XDG_CONFIG_HOME/shoebox/shoebox.conf (~/.config by default). Anything but
// a regular file there (a FIFO, a device, a folder) is left alone: nothing
// is read from it or written to it, and stderr says so once.
class Settings {
public:
    Settings();

    // The folder last chosen for `role`, as the bytes it was chosen with.
    std::optional<FileURL> folder(FolderRole role) const;
    Result<> rememberFolder(FolderRole role, const FileURL& folder);

    QByteArray windowGeometry() const;
    Result<> rememberWindowGeometry(const QByteArray& geometry);

    QString fileName() const { return fileName_; }

private:
    Result<> save();

    QString fileName_;
    std::unique_ptr<QSettings> settings_; // null when the file is left alone
};

} // namespace shoebox
