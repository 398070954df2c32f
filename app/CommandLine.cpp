#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/Translations.h"
#include "platform/MediaTypes.h"
#include "platform/Result.h"
#include "platform/Text.h"
#include "sorting/Translation.h"

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

// The folder `path` names, or why it names none: `refused` with the path
// and the system's reason put in, the whole message after the program's
// name, however long the path.
Result<FileURL> existingFolder(const std::string& path, const QString& refused)
{
    // The path's bytes as they are, even where they are not UTF-8.
    auto refusal = [&](int error) {
        return std::unexpected(
            Error{withArguments(refused.toStdString(), {oneLine(path), systemReason(error)}), error});
    };
    if (path.empty())
        return refusal(ENOENT);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return refusal(errno);
    if (!S_ISDIR(st.st_mode))
        return refusal(ENOTDIR);
    // A folder panel gives a plain absolute location, so "." and ".." are
    // resolved the way the kernel does (across symlinks); a path without
    // them is kept as given, a symlink's own name included.
    if (hasDotComponent(path)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real)
            return refusal(errno);
        std::string resolved(real);
        std::free(real);
        return FileURL::fileURLWithPath(resolved);
    }
    return FileURL::fileURLWithPath(path);
}

// Whether `path` is a file the source scan would list: a regular file (or a
// link to one) with a shown extension, and not hidden.
bool isShownFile(const std::string& path)
{
    struct stat st {};
    const std::string name = baseNameOf(path);
    return !name.empty() && name[0] != '.' && mediaKindOf(FileURL::fileURLWithPath(path)) &&
           ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::variant<StartFolders, EarlyExit> parseCommandLine(int argc, const char* const* argv,
                                                       const Translations* translations)
{
    const auto say = [translations](const char* source) {
        return translations ? translations->text("CommandLine", source) : QString::fromUtf8(source);
    };
    const std::string program = programName(argc, argv);
    const QString name = QString::fromLocal8Bit(program.c_str());
    const std::string tryHelp =
        say(QT_TRANSLATE_NOOP("CommandLine", "Try '%1 --help' for more information.")).arg(name).toStdString() + "\n";

    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) {
        // Qt's own message, in English: its translation needs the
        // application object, which does not exist yet.
        const QStringList unknown = parser.unknownOptionNames();
        const QString error = unknown.size() == 1
                                  ? say(QT_TRANSLATE_NOOP("CommandLine", "Unknown option '%1'.")).arg(unknown.front())
                                  : parser.errorText();
        return EarlyExit{usageError, program + ": " + error.toStdString() + "\n" + tryHelp};
    }

    if (parser.isSet(help)) {
        return EarlyExit{0, say(QT_TRANSLATE_NOOP("CommandLine",
                                                  "Usage: %1 [OPTION]... [SOURCE [DESTINATION]]\n"
                                                  "  or:  %1 [OPTION]... PHOTO [DESTINATION]\n"
                                                  "Shows the photos and videos of the folder SOURCE one at a time, to "
                                                  "move each\n"
                                                  "under a new name into the folder DESTINATION. Folders given here "
                                                  "are chosen at\n"
                                                  "start, as if picked with the folder buttons. Given a PHOTO (or "
                                                  "video) in place\n"
                                                  "of SOURCE, its folder is the source and that file is shown first.\n"
                                                  "\n"
                                                  "Options:\n"
                                                  "  -h, --help     Display this help and exit.\n"
                                                  "      --version  Output version information and exit.\n"))
                                .arg(name)
                                .toStdString()};
    }
    if (parser.isSet(version))
        return EarlyExit{
            0, program + " " SHOEBOX_VERSION "\n" +
                   say(QT_TRANSLATE_NOOP("CommandLine", "License GPLv3+: GNU GPL version 3 or later "
                                                        "<https://gnu.org/licenses/gpl.html>.\n"
                                                        "This is free software: you are free to change and "
                                                        "redistribute it.\n"
                                                        "There is NO WARRANTY, to the extent permitted by law.\n"))
                       .toStdString()};

    const std::vector<std::string> paths = positionalBytes(argc, argv);
    if (paths.size() > 2)
        return EarlyExit{
            usageError,
            program + ": " +
                say(QT_TRANSLATE_NOOP("CommandLine", "too many arguments: at most a source and a destination folder"))
                    .toStdString() +
                "\n" + tryHelp};

    StartFolders folders;
    const QString refusals[] = {say(QT_TRANSLATE_NOOP("CommandLine", "source folder '%1': %2")),
                                say(QT_TRANSLATE_NOOP("CommandLine", "destination folder '%1': %2"))};
    std::optional<FileURL>* targets[] = {&folders.source, &folders.destination};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // "Open With" a photo: its folder is the source, the photo is shown first.
        if (i == 0 && isShownFile(paths[i])) {
            auto folder = existingFolder(parentOf(paths[i]), refusals[i]);
            if (!folder)
                return EarlyExit{usageError, program + ": " + folder.error().description + "\n"};
            folders.source = *folder;
            folders.firstFile = folder->appendingPathComponent(baseNameOf(paths[i]));
            continue;
        }
        auto folder = existingFolder(paths[i], refusals[i]);
        if (!folder)
            return EarlyExit{usageError, program + ": " + folder.error().description + "\n"};
        *targets[i] = *folder;
    }
    return folders;
}

} // namespace shoebox
