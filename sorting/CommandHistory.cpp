#include "sorting/CommandHistory.h"

#include "sorting/Naming.h"

namespace shoebox {

std::string FileCommand::name() const
{
    if (kind == Kind::Trash)
        return "Move to Trash of \u201C" + displayName(before.lastPathComponent()) + "\u201D";
    return "Move of \u201C" + displayName(after.lastPathComponent()) + "\u201D";
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

void CommandHistory::redone(FileCommand again)
{
    undone_.pop_back();
    done_.push_back(std::move(again));
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
