#include <gtest/gtest.h>

#include <unistd.h>

#include <variant>
#include <vector>

#include "CommandLine.h"
#include "TempDir.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

std::variant<StartFolders, EarlyExit> parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "/usr/bin/shoebox");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    return parseCommandLine(static_cast<int>(args.size()), argv.data());
}

TEST(CommandLineTest, MistakesEndWithStatusTwoAndSayWhat)
{
    TempDir dir;
    const std::string folder = dir.makeFolder("photos");
    const std::string file = dir.write("photo.jpg");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{dir / "missing"}, "shoebox: source folder '" + dir / "missing" + "': No such file or directory\n"},
        {{file}, "shoebox: source folder '" + file + "': Not a directory\n"},
        {{folder, file}, "shoebox: destination folder '" + file + "': Not a directory\n"},
        {{""}, "shoebox: source folder '': No such file or directory\n"},
        {{dir / "bad\nname"}, "shoebox: source folder '" + dir / "bad\\x0Aname" + "': No such file or directory\n"},
        {{folder, folder, folder},
         "shoebox: too many arguments: at most a source and a destination folder\n"
         "Try 'shoebox --help' for more information.\n"},
        {{"--colour", folder}, "shoebox: Unknown option 'colour'.\nTry 'shoebox --help' for more information.\n"},
    };
    for (const auto& c : cases) {
        const auto result = parse(c.args);
        const auto* exit = std::get_if<EarlyExit>(&result);
        ASSERT_NE(exit, nullptr) << c.message;
        EXPECT_EQ(exit->status, 2);
        EXPECT_EQ(exit->text, c.message);
    }
}

TEST(CommandLineTest, HelpAndVersionFollowGnuConventions)
{
    const auto help = std::get<EarlyExit>(parse({"--help"}));
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.text.starts_with("Usage: shoebox [OPTION]... [SOURCE [DESTINATION]]\n")) << help.text;
    EXPECT_NE(help.text.find("--version"), std::string::npos);
    EXPECT_EQ(std::get<EarlyExit>(parse({"-h"})).text, help.text);

    const auto version = std::get<EarlyExit>(parse({"--version"}));
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.text.starts_with("shoebox 0.")) << version.text;
}

TEST(CommandLineTest, FoldersKeepTheirBytes)
{
    TempDir dir;
    const std::string latin1 = dir.makeFolder("caf\xE9");  // not UTF-8
    const std::string dashed = dir.makeFolder("-reverse"); // looks like an option
    const std::string inner = dir.makeFolder("a/b");

    EXPECT_FALSE(std::get<StartFolders>(parse({})).source);

    auto folders = std::get<StartFolders>(parse({latin1, "--", dashed}));
    ASSERT_TRUE(folders.source && folders.destination);
    EXPECT_EQ(folders.source->path(), latin1);
    EXPECT_EQ(folders.destination->path(), dashed);

    // Relative paths are taken from the working directory; "." and ".."
    // are resolved as the kernel resolves them.
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(latin1);
    folders = std::get<StartFolders>(parse({".", "../a/b/"}));
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(folders.source && folders.destination);
    EXPECT_EQ(folders.source->path(), latin1);
    EXPECT_EQ(folders.destination->path(), inner);
}

} // namespace
