#pragma once

#include <QByteArray>
#include <QSettings>
#include <optional>
#include <vector>

#include "platform/FileURL.h"
#include "platform/Result.h"
#include "sorting/RecentDestinations.h"

namespace shoebox {

enum class FolderRole { Source, Destination };

// What Shoebox remembers between runs, and nothing else: the folder last
// chosen for each role, the window's size and place, and the subfolder
// pairs the last moves went to. Kept in
// $XDG_CONFIG_HOME/shoebox/shoebox.conf (~/.config by default).
class Settings {
public:
    Settings();

    // The folder last chosen for `role`, as the bytes it was chosen with.
    std::optional<FileURL> folder(FolderRole role) const;
    Result<> rememberFolder(FolderRole role, const FileURL& folder);

    // Most recent first, as RecentDestinations keeps them.
    std::vector<SubfolderPair> recentDestinations() const;
    Result<> rememberRecentDestinations(const std::vector<SubfolderPair>& pairs);

    QByteArray windowGeometry() const;
    Result<> rememberWindowGeometry(const QByteArray& geometry);

    QString fileName() const { return settings_.fileName(); }

private:
    Result<> save();

    mutable QSettings settings_; // reading an array steps through it
};

} // namespace shoebox
