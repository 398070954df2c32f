#pragma once

#include <QByteArray>
#include <QSettings>
#include <memory>
#include <optional>
#include <vector>

#include "platform/FileURL.h"
#include "platform/Result.h"
#include "sorting/RecentDestinations.h"

namespace shoebox {

enum class FolderRole { Source, Destination };

// What Shoebox remembers between runs, and nothing else: the folder last
// chosen for each role, whether companion files move with their photo, the
// window's size and place, and the subfolder pairs the last moves went to.
// Kept in $XDG_CONFIG_HOME/shoebox/shoebox.conf (~/.config by default). Anything but
// a regular file there (a FIFO, a device, a folder) is left alone: nothing
// is read from it or written to it, and stderr says so once.
class Settings {
public:
    Settings();

    // The folder last chosen for `role`, as the bytes it was chosen with.
    std::optional<FileURL> folder(FolderRole role) const;
    Result<> rememberFolder(FolderRole role, const FileURL& folder);

    // Photo ▸ Move Companion Files Together; off unless turned on.
    bool moveCompanionsTogether() const;
    Result<> rememberMoveCompanionsTogether(bool on);

    // Most recent first, as RecentDestinations keeps them.
    std::vector<SubfolderPair> recentDestinations() const;
    Result<> rememberRecentDestinations(const std::vector<SubfolderPair>& pairs);

    QByteArray windowGeometry() const;
    Result<> rememberWindowGeometry(const QByteArray& geometry);

    QString fileName() const { return fileName_; }

private:
    Result<> save();

    QString fileName_;
    std::unique_ptr<QSettings> settings_; // null when the file is left alone
};

} // namespace shoebox
