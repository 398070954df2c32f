#pragma once

class QComboBox;

namespace shoebox {

// Makes screen readers announce `box` by its accessible name, then its
// value: Qt on Linux names a combo box by its current text ("New name
// only"), so what the box is for is never said. Also names the parts a
// screen reader reaches on their own: the text field of an editable box and
// the list that drops down (when `list` is set). Call once the box has its
// accessible name.
void nameComboBox(QComboBox* box, bool list = true);
// Names the list that drops down from `box`, building it if it is not yet.
void nameComboBoxList(QComboBox* box);

} // namespace shoebox
