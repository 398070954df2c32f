#include "sorting/CommandHistory.h"

#include "sorting/Naming.h"

namespace shoebox {

std::string FileCommand::name() const
{
    if (kind == Kind::Trash)
        return "Move to Trash of \u201C" + displayName(before.lastPathComponent()) + "\u201D";
    return "Move of \u201C" + displayName(after.value_or(before).lastPathComponent()) + "\u201D";
}

void CommandHistory::record(FileCommand command)
{
    done_.push_back(std::move(command));
    undone_.clear();
}

void CommandHistory::undone()
{
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
}

void CommandHistory::redone(std::optional<FileURL> after)
{
    FileCommand command = std::move(undone_.back());
    undone_.pop_back();
    command.after = std::move(after);
    done_.push_back(std::move(command));
}

std::string CommandHistory::undoTitle() const
{
    return nextUndo() ? "Undo " + nextUndo()->name() : "Undo";
}

std::string CommandHistory::redoTitle() const
{
    return nextRedo() ? "Redo " + nextRedo()->name() : "Redo";
}

} // namespace shoebox
