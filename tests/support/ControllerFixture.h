#pragma once

#include <gtest/gtest.h>

#include "Doubles.h"
#include "Environment.h"
#include "TempDir.h"
#include "ViewController.h"

namespace shoebox::testing {

// GLib reads HOME once: the Trash goes to a scratch folder from before the
// first test on, never to the user's own.
inline const std::string& scratchHome = useScratchHome();

// A controller on doubles of the window, with the real file manager working
// in a temporary folder.
class ControllerTest : public ::testing::Test {
protected:
    static constexpr RenameType NewName = RenameType::NewNameOnly, WithStem = RenameType::StemAndNewName,
                                WithShortStem = RenameType::ShortStemAndNewName,
                                Untested = RenameType::NewNameOnlyUntested;
    static inline const std::string failurePrefix = "Ooops! Something went wrong: ";

    // Each test starts with an empty Trash.
    ControllerTest() : controller(window.outlets(), window.services())
    {
        std::filesystem::remove_all(trash());
        controller.viewDidLoad();
    }

    static std::string trash() { return scratchHome + "/.local/share/Trash"; }
    static FileURL url(const std::string& path) { return FileURL::fileURLWithPath(path); }

    // Chooses `folder` in the panel as the source, or as the destination.
    void scan(const std::string& folder)
    {
        window.panel.chooseNext(url(folder));
        controller.sourceFolderButton(nullptr);
    }
    void chooseDestination(const std::string& folder)
    {
        window.panel.chooseNext(url(folder));
        controller.destinationFolderButton(nullptr);
    }
    // A source "src" of files holding "bytes of <name>", a destination
    // ("dest" unless given), and the first file on show.
    void prepare(std::initializer_list<std::string> names, const std::string& destination = "")
    {
        for (const std::string& name : names)
            dir.write("src/" + name, "bytes of " + name);
        scan(dir / "src");
        chooseDestination(destination.empty() ? dir.makeFolder("dest") : destination);
    }
    // Selects `type` (the untested one: an index past the menu's three),
    // types `name` and presses the move button.
    void move(const std::string& name, RenameType type = RenameType::NewNameOnly)
    {
        window.renameTypeMenu.index = type == Untested ? 7 : static_cast<long>(type);
        window.newFileNameTextField.value = name;
        controller.moveAndRenameButton(nullptr);
    }
    std::string currentPath() const
    {
        return controller.imageURLs().at(static_cast<std::size_t>(controller.currentImageItem())).path();
    }
    static std::vector<std::string> lastComponents(const std::vector<FileURL>& urls)
    {
        std::vector<std::string> names;
        for (const FileURL& u : urls)
            names.push_back(u.lastPathComponent());
        return names;
    }

    TempDir dir;
    FakeWindow window;
    ViewController controller;
};

} // namespace shoebox::testing
