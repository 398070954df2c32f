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

// Guards a mistake's exit status and its exact message (a newline in a name escaped).
TEST(CommandLineTest, MistakesEndWithStatusTwoAndSayWhat)
{
    TempDir dir;
    const std::string folder = dir.makeFolder("photos"), file = dir.write("photo.jpg"),
                      more = "\nTry 'shoebox --help' for more information.";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{dir / "missing"}, "source folder '" + dir / "missing" + "': No such file or directory"},
        {{file}, "source folder '" + file + "': Not a directory"},
        {{folder, file}, "destination folder '" + file + "': Not a directory"},
        {{""}, "source folder '': No such file or directory"},
        {{dir / "bad\nname"}, "source folder '" + dir / "bad\\x0Aname" + "': No such file or directory"},
        {{folder, folder, folder}, "too many arguments: at most a source and a destination folder" + more},
        {{"--colour", folder}, "Unknown option 'colour'." + more},
    };
    for (const auto& [args, message] : cases) {
        const auto result = parse(args);
        const auto* exit = std::get_if<EarlyExit>(&result);
        ASSERT_NE(exit, nullptr) << message;
        EXPECT_EQ(std::to_string(exit->status) + " " + exit->text, "2 shoebox: " + message + "\n");
    }
}

// Guards --help, -h and --version: their status, and the usage line.
TEST(CommandLineTest, HelpAndVersionFollowGnuConventions)
{
    const auto help = std::get<EarlyExit>(parse({"--help"})), version = std::get<EarlyExit>(parse({"--version"}));
    EXPECT_EQ(help.status + version.status, 0);
    EXPECT_TRUE(help.text.starts_with("Usage: shoebox [OPTION]... [SOURCE [DESTINATION]]\n")) << help.text;
    EXPECT_NE(help.text.find("--version"), std::string::npos);
    EXPECT_EQ(std::get<EarlyExit>(parse({"-h"})).text, help.text);
    EXPECT_TRUE(version.text.starts_with("shoebox 0.")) << version.text;
}

// Guards folders losing bytes, "--" not ending the options, and relative paths not resolved as the kernel does.
TEST(CommandLineTest, FoldersKeepTheirBytes)
{
    TempDir dir;
    const std::string latin1 = dir.makeFolder("caf\xE9"), dashed = dir.makeFolder("-reverse"),
                      inner = dir.makeFolder("a/b");
    EXPECT_FALSE(std::get<StartFolders>(parse({})).source);
    auto folders = std::get<StartFolders>(parse({latin1, "--", dashed}));
    ASSERT_TRUE(folders.source && folders.destination);
    EXPECT_EQ(folders.source->path() + " " + folders.destination->path(), latin1 + " " + dashed);
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(latin1);
    folders = std::get<StartFolders>(parse({".", "../a/b/"}));
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(folders.source && folders.destination);
    EXPECT_EQ(folders.source->path() + " " + folders.destination->path(), latin1 + " " + inner);
}

} // namespace
