#pragma once

class QComboBox;

namespace shoebox {

// Makes screen readers announce a combo box by its accessible name (or its
// label's) and its value: Qt on Linux names a combo box by its current text
// ("New name only"), so the box itself is never said. Installed once per
// process; boxes without an accessible name keep Qt's own interface.
void installComboBoxNames();

// Names the parts of `box` a screen reader reaches on their own: the text
// field of an editable box and the list that drops down, after the box.
void nameComboBoxParts(QComboBox* box);

} // namespace shoebox
