#pragma once

#include <QDate>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileManager.h"
#include "platform/FileURL.h"

class QComboBox;
class QStandardItemModel;

namespace shoebox {

// Offers folder names in the two subfolder boxes: subfolder 1 the folders in
// the destination, subfolder 2 those in destination/subfolder 1 (in the
// destination when subfolder 1 is empty, as the move has it), each with the
// names a move in this window used before, in natural order. Before them
// come the date the photo on show was taken, as folder names
// (dateFolderNames), marked as suggestions. Typing completes without regard
// to case. Folders are listed on a worker thread, so a destination of
// 100,000 entries never stalls typing; a listing overtaken by a newer one is
// dropped.
class FolderCompletion final : public QObject {
    Q_OBJECT
public:
    // True for an offered name that is a date suggestion rather than a folder.
    static constexpr int suggestionRole = Qt::UserRole + 1;

    FolderCompletion(FileManager& files, QComboBox* levelOne, QComboBox* levelTwo, QObject* parent = nullptr);
    // Waits for a listing under way: it uses `files`.
    ~FolderCompletion() override;

    void setDestination(std::optional<FileURL> destination);
    // A move, undo or redo ran: folders may have appeared, and when `used`,
    // the names in the boxes were used by a move and are offered from now on.
    void refresh(bool used);
    // The date the photo on show was taken, or none (not known, or not yet).
    void setDateTaken(std::optional<QDate> date);

private:
    struct Level {
        Level(QComboBox* b, QStandardItemModel* m) : box(b), model(m) {}
        QComboBox* box;
        QStandardItemModel* model;
        std::vector<std::string> listed;     // natural order
        std::vector<std::string> remembered; // natural order
        QStringList suggested;               // from the date taken, first
        std::uint64_t generation = 0;
        QStringList offered; // what the model holds: the suggestions, then the folders
        qsizetype offeredSuggestions = 0;
    };

    void list(Level& level, std::optional<FileURL> folder);
    void listLevelTwo();
    void offer(Level& level);

    FileManager& files_;
    std::optional<FileURL> destination_;
    Level one_;
    Level two_;
    QTimer levelOneEdited_; // lists subfolder 2 again once typing in subfolder 1 pauses
    QThreadPool pool_;
};

// The names people file a photo taken on `date` under, as subfolder 1
// ("2024", "2024-07", "2024-07-14") and subfolder 2 ("07", "2024-07-14").
struct DateFolderNames {
    QStringList levelOne;
    QStringList levelTwo;
};
DateFolderNames dateFolderNames(QDate date);

} // namespace shoebox
