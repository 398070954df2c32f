#include "app/About.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace shoebox {

void showAbout(QWidget* parent)
{
    // Library versions as built against; Qt's as it runs.
    const QString text =
        QCoreApplication::translate("About",
                                    "<h3>Shoebox %1</h3>"
                                    "<p>Sort a folder of photos and videos by hand, fast.</p>"
                                    "<p>Licensed under the GNU General Public License, version 3 or later. "
                                    "There is no warranty, to the extent permitted by law.</p>"
                                    "<p>Built with Qt %2 (Widgets, Multimedia with GStreamer), libheif %3, GLib/GIO %4 "
                                    "and ICU %5.</p>")
            .arg(QStringLiteral(SHOEBOX_VERSION), QString::fromLatin1(qVersion()), QStringLiteral(SHOEBOX_HEIF_VERSION),
                 QStringLiteral(SHOEBOX_GIO_VERSION), QStringLiteral(SHOEBOX_ICU_VERSION));
    QMessageBox::about(parent, QCoreApplication::translate("About", "About Shoebox"), text);
}

} // namespace shoebox
