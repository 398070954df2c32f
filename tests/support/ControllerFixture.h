#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Doubles.h"
#include "TempDir.h"
#include "ViewController.h"

namespace shoebox::testing {

// A controller on doubles of the window, with the real file manager working
// in a temporary folder.
class ControllerTest : public ::testing::Test {
protected:
    ControllerTest() : controller(window.outlets(), window.services()) { controller.viewDidLoad(); }

    FileURL url(const std::string& path) const { return FileURL::fileURLWithPath(path); }

    // Scans `folder` as if the user chose it in the panel.
    void scan(const std::string& folder)
    {
        window.panel.chooseNext(url(folder));
        controller.sourceFolderButton(nullptr);
    }
    void chooseDestination(const std::string& folder)
    {
        window.panel.chooseNext(url(folder));
        controller.destinationFolderButton(nullptr);
    }
    std::string currentPath() const
    {
        return controller.imageURLs().at(static_cast<std::size_t>(controller.currentImageItem())).path();
    }

    TempDir dir;
    FakeWindow window;
    ViewController controller;
};

} // namespace shoebox::testing
