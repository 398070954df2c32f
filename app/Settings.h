#pragma once

#include <QByteArray>
#include <QSettings>
#include <optional>

#include "platform/FileURL.h"
#include "platform/Result.h"

namespace shoebox {

enum class FolderRole { Source, Destination };

// What Shoebox remembers between runs, and nothing else: the folder last
// chosen for each role and the window's size and place. Kept in
// $XDG_CONFIG_HOME/shoebox/shoebox.conf (~/.config by default).
class Settings {
public:
    Settings();

    // The folder last chosen for `role`, as the bytes it was chosen with.
    std::optional<FileURL> folder(FolderRole role) const;
    Result<> rememberFolder(FolderRole role, const FileURL& folder);

    QByteArray windowGeometry() const;
    Result<> rememberWindowGeometry(const QByteArray& geometry);

    QString fileName() const { return settings_.fileName(); }

private:
    Result<> save();

    QSettings settings_;
};

} // namespace shoebox
