#include "app/Display.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Translations.h"

namespace shoebox {

namespace {

// A message Qt gave while the application started, kept to be passed on.
struct HeldMessage {
    QtMsgType type;
    std::string file, function, category;
    int line;
    QString text;
};

std::vector<HeldMessage> held;
std::string cannotOpen; // the line for a display Qt cannot open

// Which display Qt was to open: the variables that name it.
QString displayNamed()
{
    QStringList named;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(variable))
            named << QLatin1String(variable) + QLatin1Char('=') + qEnvironmentVariable(variable);
    }
    return named.join(QStringLiteral(", "));
}

// Qt ends with a fatal message when no platform plugin starts: that is the
// one line, and the end. The messages before it say the same at length.
void holdMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(cannotOpen.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(1); // nothing of Qt's is set up to be taken down
    }
    held.push_back({type, context.file ? context.file : "", context.function ? context.function : "",
                    context.category ? context.category : "", context.line, text});
}

} // namespace

std::unique_ptr<QApplication> openDisplay(int& argc, char** argv, const Translations& translations)
{
    const QString named = displayNamed();
    const char* const cannot =
        named.isEmpty()
            ? QT_TRANSLATE_NOOP("Display", "%1: cannot open the display: neither DISPLAY nor WAYLAND_DISPLAY is set")
            : QT_TRANSLATE_NOOP("Display", "%1: cannot open the display (%2)");
    QString line = translations.text("Display", cannot).arg(QLatin1String("shoebox"));
    if (!named.isEmpty())
        line = line.arg(named);
    cannotOpen = line.toStdString() + "\n";

    const QtMessageHandler previous = qInstallMessageHandler(holdMessages);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(message.file.c_str(), message.line, message.function.c_str(),
                                         message.category.c_str());
        qt_message_output(message.type, context, message.text);
    }
    held.clear();
    return app;
}

} // namespace shoebox
