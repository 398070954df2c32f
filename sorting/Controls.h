#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileURL.h"

// The controls of the sorting window, as the controller sees them. Strings
// are UTF-8. The window's Qt adapters live in app/QtControls.h, the
// in-memory doubles in tests/support/Doubles.h.
namespace shoebox {

class TextField {
public:
    virtual ~TextField() = default;
    virtual std::string stringValue() const = 0;
    virtual void setStringValue(std::string_view text) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual void setEnabled(bool enabled) = 0;
};

// A menu command whose title says what it would do ("Undo Move of ...").
class MenuItem {
public:
    virtual ~MenuItem() = default;
    // The title as shown, UTF-8; no character in it is a mnemonic marker.
    virtual void setTitle(std::string_view title) = 0;
    virtual void setEnabled(bool enabled) = 0;
};

class ProgressIndicator {
public:
    virtual ~ProgressIndicator() = default;
    virtual void setMinValue(double value) = 0;
    virtual void setMaxValue(double value) = 0;
    virtual void setDoubleValue(double value) = 0;
};

class PopUpMenu {
public:
    virtual ~PopUpMenu() = default;
    // Zero-based index of the selected item.
    virtual long indexOfSelectedItem() const = 0;
};

class ImageView {
public:
    virtual ~ImageView() = default;
    // Shows the file at `url`: a picture, a video, or a placeholder text when
    // it cannot be shown. Returns at once; decoding happens elsewhere.
    virtual void setImage(const FileURL& url) = 0;
    // The files most likely shown next, most likely first. The view may
    // prepare them ahead and forget anything else it prepared.
    virtual void setNeighbours(const std::vector<FileURL>& likelyNext) = 0;
};

class OpenPanel {
public:
    virtual ~OpenPanel() = default;
    // Runs a modal folder-only chooser. Nothing when the user cancels.
    virtual std::optional<FileURL> chooseFolder() = 0;
};

class Alert {
public:
    virtual ~Alert() = default;
    // A modal warning with one button "OK"; returns when it is dismissed.
    virtual void showWarning(std::string_view messageText, std::string_view informativeText) = 0;
};

} // namespace shoebox
