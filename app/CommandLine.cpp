#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Result.h"
#include "platform/Text.h"

namespace shoebox {

namespace {

constexpr int usageError = 2;

std::string programName(int argc, const char* const* argv)
{
    if (argc < 1 || !argv[0] || !*argv[0])
        return "shoebox";
    const std::string_view path = argv[0];
    return std::string(path.substr(path.find_last_of('/') + 1));
}

// The bytes of every positional argument. QCommandLineParser sees the
// arguments as text, which loses bytes that are not UTF-8, so it only
// checks the options; the folders come straight from argv by the same rule
// it follows: after "--" everything is positional, before it anything that
// starts with "-" (other than "-" itself) is an option.
std::vector<std::string> positionalBytes(int argc, const char* const* argv)
{
    std::vector<std::string> result;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else if (optionsEnded || arg.size() < 2 || arg[0] != '-')
            result.emplace_back(arg);
    }
    return result;
}

bool hasDotComponent(std::string_view path)
{
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view component = path.substr(start, end - start);
        if (component == "." || component == "..")
            return true;
        start = end + 1;
    }
    return false;
}

// The folder `path` names, or why it names none. The description is the
// whole message after the program's name, however long the path.
Result<FileURL> existingFolder(const std::string& path, const char* role)
{
    auto refused = [&](int error) {
        return std::unexpected(
            Error{std::string(role) + " folder '" + oneLine(path) + "': " + std::strerror(error), error});
    };
    if (path.empty())
        return refused(ENOENT);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return refused(errno);
    if (!S_ISDIR(st.st_mode))
        return refused(ENOTDIR);
    // A folder panel gives a plain absolute location, so "." and ".." are
    // resolved the way the kernel does (across symlinks); a path without
    // them is kept as given, a symlink's own name included.
    if (hasDotComponent(path)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real)
            return refused(errno);
        std::string resolved(real);
        std::free(real);
        return FileURL::fileURLWithPath(resolved);
    }
    return FileURL::fileURLWithPath(path);
}

} // namespace

std::variant<StartFolders, EarlyExit> parseCommandLine(int argc, const char* const* argv)
{
    const std::string program = programName(argc, argv);
    const std::string tryHelp = "Try '" + program + " --help' for more information.\n";

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the photos and videos of the folder SOURCE one at a time, to move each under a new\n"
                       "name into the folder DESTINATION. Folders given here are chosen at start, as if picked\n"
                       "with the folder buttons."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Display this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Output version information and exit."));
    parser.addOption(help);
    parser.addOption(version);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments))
        return EarlyExit{usageError, program + ": " + parser.errorText().toStdString() + "\n" + tryHelp};

    if (parser.isSet(help)) {
        // Qt writes its own usage line from the application object, which
        // does not exist yet: start the window only when it is needed.
        const std::string text = parser.helpText().toStdString();
        return EarlyExit{0, "Usage: " + program + " [OPTION]... [SOURCE [DESTINATION]]\n" +
                                text.substr(text.find('\n') + 1)};
    }
    if (parser.isSet(version))
        return EarlyExit{0, program +
                                " " SHOEBOX_VERSION "\n"
                                "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
                                "This is free software: you are free to change and redistribute it.\n"
                                "There is NO WARRANTY, to the extent permitted by law.\n"};

    const std::vector<std::string> paths = positionalBytes(argc, argv);
    if (paths.size() > 2)
        return EarlyExit{usageError,
                         program + ": too many arguments: at most a source and a destination folder\n" + tryHelp};

    StartFolders folders;
    const char* roles[] = {"source", "destination"};
    std::optional<FileURL>* targets[] = {&folders.source, &folders.destination};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        auto folder = existingFolder(paths[i], roles[i]);
        if (!folder)
            return EarlyExit{usageError, program + ": " + folder.error().description + "\n"};
        *targets[i] = *folder;
    }
    return folders;
}

} // namespace shoebox
