#pragma once

class QWidget;

namespace shoebox {

// The About Shoebox box: version, licence and the libraries Shoebox uses.
void showAbout(QWidget* parent);

} // namespace shoebox
