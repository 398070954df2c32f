#include "sorting/CommandHistory.h"

#include "sorting/Naming.h"

namespace shoebox {

std::string FileCommand::name(Translate translate) const
{
    const bool trash = kind == Kind::Trash;
    const std::string file = displayName((trash ? before : after).lastPathComponent());
    // Whole sentences, so a language can word the count its own way.
    if (companions.empty())
        return withArguments(
            trash ? translate("Sorting", "Move to Trash of “%1”") : translate("Sorting", "Move of “%1”"), {file});
    if (companions.size() == 1)
        return withArguments(trash ? translate("Sorting", "Move to Trash of “%1” and 1 companion")
                                   : translate("Sorting", "Move of “%1” and 1 companion"),
                             {file});
    return withArguments(trash ? translate("Sorting", "Move to Trash of “%1” and %2 companions")
                               : translate("Sorting", "Move of “%1” and %2 companions"),
                         {file, std::to_string(companions.size())});
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
