#include "sorting/CommandHistory.h"

#include "sorting/Naming.h"

namespace shoebox {

std::string FileCommand::name(Translate translate) const
{
    if (kind == Kind::Trash)
        return withArguments(translate("Sorting", "Move to Trash of “%1”"), {displayName(before.lastPathComponent())});
    return withArguments(translate("Sorting", "Move of “%1”"), {displayName(after.lastPathComponent())});
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

std::string CommandHistory::undoTitle(Translate translate) const
{
    if (!nextUndo())
        return translate("Sorting", "Undo");
    return withArguments(translate("Sorting", "Undo %1"), {nextUndo()->name(translate)});
}

std::string CommandHistory::redoTitle(Translate translate) const
{
    if (!nextRedo())
        return translate("Sorting", "Redo");
    return withArguments(translate("Sorting", "Redo %1"), {nextRedo()->name(translate)});
}

} // namespace shoebox
