#pragma once

#include <gtest/gtest.h>

#include <ranges>
#include <sstream>

#include "sorting/ViewController.h"
#include "tests/support/Doubles.h"
#include "tests/support/Environment.h"
#include "tests/support/TempDir.h"

namespace shoebox::testing {

// GLib reads HOME once: the Trash goes to a scratch folder from before the first test on, never to the user's own.
inline const std::string& scratchHome = useScratchHome();

constexpr RenameType NewName = RenameType::NewNameOnly, WithStem = RenameType::StemAndNewName,
                     WithShortStem = RenameType::ShortStemAndNewName, Untested = RenameType::NewNameOnlyUntested;

// A controller on doubles of the window, with the real file manager working in a temporary folder; each test starts
// with an empty Trash.
class ControllerTest : public ::testing::Test {
protected:
    static inline const std::string failurePrefix = "Ooops! Something went wrong: ",
                                    starting = "starting if folder is not nil";

    ControllerTest() : controller(window.outlets(), window.services())
    {
        std::filesystem::remove_all(trash());
        controller.viewDidLoad();
    }

    static std::string trash() { return scratchHome + "/.local/share/Trash"; }
    static FileURL url(const std::string& path) { return FileURL::fileURLWithPath(path); }

    // Chooses `folder` in the panel, or cancels it.
    void scan(const std::optional<std::string>& folder)
    {
        window.panel.chooseNext(folder ? std::optional(url(*folder)) : std::nullopt);
        controller.sourceFolderButton(nullptr);
    }
    void chooseDestination(const std::optional<std::string>& folder)
    {
        window.panel.chooseNext(folder ? std::optional(url(*folder)) : std::nullopt);
        controller.destinationFolderButton(nullptr);
    }
    // A source "src" of files holding their own names, a destination ("dest" unless given), and the first file on show.
    void prepare(const Names& names, const std::string& destination = "")
    {
        scan(dir.fill(names));
        chooseDestination(destination.empty() ? dir.makeFolder("dest") : destination);
    }
    // Selects `type` (the untested one: an index past the menu's three), types `name` and presses the move button.
    void move(const std::string& name, RenameType type = NewName)
    {
        window.renameTypeMenu.index = type == Untested ? 7 : static_cast<long>(type);
        window.newFileNameTextField.value = name;
        controller.moveAndRenameButton(nullptr);
    }
    std::string currentPath() const
    {
        return controller.imageURLs().at(static_cast<std::size_t>(controller.currentImageItem())).path();
    }
    // `text` with every path in the test's folder made relative to it, and the Trash's files called "Trash".
    std::string relative(std::string text) const
    {
        for (const auto& [from, to] : {std::pair{dir.path() + "/", ""}, {trash() + "/files", "Trash"}})
            for (std::size_t at; (at = text.find(from)) != std::string::npos;)
                text.replace(at, from.size(), to);
        return text;
    }
    std::string relative(const std::vector<FileURL>& urls) const
    {
        return join(urls | std::views::transform([this](const FileURL& url) { return relative(url.path()); }));
    }
    std::string entries() const { return relative(controller.imageURLs()); }
    Names printed() const
    {
        auto lines = window.output.lines | std::views::transform([this](const auto& line) { return relative(line); });
        return Names(lines.begin(), lines.end());
    }
    std::string commands() const
    {
        return join(Names{window.prePhotoButton.enabled ? "prev" : "", window.nextPhotoButton.enabled ? "next" : "",
                          window.trashPhotoButton.enabled ? "trash" : "",
                          window.moveAndRenameFileButton.enabled ? "move" : ""});
    }
    // The test's folder and the Trash (its files, then its listing) in one line.
    std::string disk() const
    {
        return tree(dir.path()) + " | trash: " + join(Names{tree(trash() + "/files"), join(names(trash() + "/info"))});
    }

    // The window in one line, to compare after each step: "3 / 4 src/c.mov | out: dest/C.mov | status: File
    // Renamed: C.mov | bar: Undone: … | Undo Move of “C.mov” | Redo …". Lines and alerts are the new ones, without
    // the "starting…" line of every move; a bar, view or entry out of step with the text shows up.
    std::string state()
    {
        std::ostringstream s;
        const auto& bar = window.progressBar;
        const auto& shown = window.imageViewer.shown;
        s << window.progressTextField.value;
        if (bar.min != 0 || bar.max != controller.totalImageCount() ||
            bar.at != std::atof(window.progressTextField.value.c_str()))
            s << " bar " << bar.min << ".." << bar.max << " at " << bar.at;
        if (!shown.empty())
            s << " " << relative(shown.back().path());
        if (!controller.imageURLs().empty() && (shown.empty() || currentPath() != shown.back().path()))
            s << " entry " << relative(currentPath());
        for (const char* separator = " | out: "; printed_ < window.output.lines.size(); ++printed_)
            if (window.output.lines[printed_] != starting)
                s << std::exchange(separator, " / ") << relative(window.output.lines[printed_]);
        for (; alerted_ < window.alert.shown.size(); ++alerted_)
            s << " | alert: " << window.alert.shown[alerted_].first;
        if (!window.newFileNamePreviewField.value.empty())
            s << " | status: " << relative(window.newFileNamePreviewField.value);
        if (!window.statusBar.value.empty())
            s << " | bar: " << relative(window.statusBar.value);
        for (const FakeControl* item : {&window.undoMenuItem, &window.redoMenuItem})
            if (item->enabled || item->value.find(' ') != std::string::npos)
                s << " | " << item->value << (item->enabled ? "" : " (disabled)");
        return s.str();
    }

    TempDir dir;
    FakeWindow window;
    ViewController controller;

private:
    std::size_t printed_ = 0, alerted_ = 0;
};

} // namespace shoebox::testing
