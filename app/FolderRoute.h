#pragma once

#include <optional>
#include <utility>

#include "sorting/Controls.h"

namespace shoebox {

// The open panel the controller asks for a folder. A folder given on the
// command line is answered once, as if the user had picked it in the panel,
// so the same scan, alert, labels and buttons follow; every other time the
// real panel runs. The last answer is kept so that the window can remember
// a choice that succeeded.
class FolderRoute final : public OpenPanel {
public:
    explicit FolderRoute(OpenPanel& panel) : panel_(panel) {}

    void answerNextWith(FileURL folder) { preset_ = std::move(folder); }

    std::optional<FileURL> chooseFolder() override
    {
        if (preset_)
            lastAnswer_ = std::exchange(preset_, std::nullopt);
        else
            lastAnswer_ = panel_.chooseFolder();
        return lastAnswer_;
    }

    const std::optional<FileURL>& lastAnswer() const { return lastAnswer_; }

private:
    OpenPanel& panel_;
    std::optional<FileURL> preset_;
    std::optional<FileURL> lastAnswer_;
};

} // namespace shoebox
