#include "app/FolderCompletion.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

#include <algorithm>

#include "app/QtControls.h"
#include "platform/Text.h"

namespace shoebox {

namespace {

constexpr int typingPauseMs = 150;

// Lists the names as they are, and says of each date suggestion that it is
// one, in the lighter colour at the row's end: the name itself must stay
// what completion puts into the box.
class SuggestionDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(FolderCompletion::suggestionRole).toBool())
            return;
        painter->save();
        painter->setPen(option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                   : QPalette::PlaceholderText));
        painter->drawText(option.rect.adjusted(0, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter,
                          FolderCompletion::tr("date taken"));
        painter->restore();
    }
};

void insertSorted(std::vector<std::string>& names, const std::string& name)
{
    const auto at = std::lower_bound(names.begin(), names.end(), name, naturalLess);
    if (at == names.end() || *at != name)
        names.insert(at, name);
}

} // namespace

FolderCompletion::FolderCompletion(FileManager& files, QComboBox* levelOne, QComboBox* levelTwo, QObject* parent)
    : QObject(parent), files_(files), one_(levelOne, new QStandardItemModel(this)),
      two_(levelTwo, new QStandardItemModel(this))
{
    pool_.setMaxThreadCount(1);
    for (Level* level : {&one_, &two_}) {
        level->box->setModel(level->model);
        auto* completer = new QCompleter(level->model, level->box);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        completer->setCompletionMode(QCompleter::PopupCompletion);
        level->box->setCompleter(completer);
        level->box->setItemDelegate(new SuggestionDelegate(level->box));
        completer->popup()->setItemDelegate(new SuggestionDelegate(completer));
    }
    levelOneEdited_.setSingleShot(true);
    levelOneEdited_.setInterval(typingPauseMs);
    connect(&levelOneEdited_, &QTimer::timeout, this, &FolderCompletion::listLevelTwo);
    connect(levelOne, &QComboBox::editTextChanged, &levelOneEdited_, qOverload<>(&QTimer::start));
}

FolderCompletion::~FolderCompletion()
{
    pool_.clear();
    pool_.waitForDone();
}

void FolderCompletion::setDestination(std::optional<FileURL> destination)
{
    destination_ = std::move(destination);
    refresh(false);
}

void FolderCompletion::refresh(bool used)
{
    if (used) {
        for (Level* level : {&one_, &two_}) {
            const std::string name = toUtf8(level->box->currentText());
            if (!name.empty())
                insertSorted(level->remembered, name);
        }
    }
    list(one_, destination_);
    listLevelTwo();
}

void FolderCompletion::setDateTaken(std::optional<QDate> date)
{
    const DateFolderNames names = date ? dateFolderNames(*date) : DateFolderNames{};
    one_.suggested = names.levelOne;
    two_.suggested = names.levelTwo;
    offer(one_);
    offer(two_);
}

void FolderCompletion::listLevelTwo()
{
    levelOneEdited_.stop();
    const std::string levelOne = toUtf8(one_.box->currentText());
    if (!destination_ || levelOne.empty())
        list(two_, destination_);
    else
        list(two_, destination_->appendingPathComponent(levelOne));
}

void FolderCompletion::list(Level& level, std::optional<FileURL> folder)
{
    const std::uint64_t generation = ++level.generation;
    if (!folder) {
        level.listed.clear();
        offer(level);
        return;
    }
    pool_.start([this, &level, generation, folder = std::move(*folder)] {
        std::vector<std::string> names = files_.folderNamesInDirectory(folder).value_or(std::vector<std::string>{});
        // A name that is not UTF-8 would come back from the box as other
        // bytes and name another folder, so it is not offered.
        std::erase_if(names, [](const std::string& name) { return !isValidUTF8(name); });
        QMetaObject::invokeMethod(
            this,
            [this, &level, generation, names = std::move(names)]() mutable {
                if (generation != level.generation)
                    return; // a newer listing is on its way
                level.listed = std::move(names);
                offer(level);
            },
            Qt::QueuedConnection);
    });
}

void FolderCompletion::offer(Level& level)
{
    std::vector<std::string> names = level.listed;
    for (const std::string& name : level.remembered)
        insertSorted(names, name);
    QStringList offered = level.suggested;
    for (const std::string& name : names) {
        // A folder named like a suggestion stands once, where the date is.
        if (const QString text = toQString(name); !level.suggested.contains(text))
            offered.push_back(text);
    }
    if (offered == level.offered && level.suggested.size() == level.offeredSuggestions)
        return;
    level.offered = offered;
    level.offeredSuggestions = level.suggested.size();

    // A new list resets the box's text to its first item: keep what the user
    // typed, and where the cursor or selection was, without telling anyone
    // the text changed.
    QLineEdit* edit = level.box->lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    const int selectionStart = edit->selectionStart();
    const int selectionLength = static_cast<int>(edit->selectedText().size());
    const QSignalBlocker quiet(level.box);
    level.model->setRowCount(0);
    for (const QString& name : offered) {
        auto* item = new QStandardItem(name);
        if (level.model->rowCount() < level.suggested.size()) {
            QFont italic = level.box->font();
            italic.setItalic(true);
            item->setFont(italic);
            item->setToolTip(tr("Suggested from the date the photo was taken"));
            item->setData(tr("date taken"), Qt::AccessibleDescriptionRole);
            item->setData(true, suggestionRole);
        }
        level.model->appendRow(item);
    }
    level.box->setCurrentIndex(-1);
    edit->setText(text);
    if (selectionStart >= 0)
        edit->setSelection(selectionStart, selectionLength);
    else
        edit->setCursorPosition(cursor);
}

DateFolderNames dateFolderNames(QDate date)
{
    const QString year = date.toString(QStringLiteral("yyyy")), month = date.toString(QStringLiteral("MM")),
                  day = date.toString(Qt::ISODate);
    return {{year, year + QLatin1Char('-') + month, day}, {month, day}};
}

} // namespace shoebox
