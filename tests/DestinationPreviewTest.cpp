#include <set>

#include "tests/support/ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

struct PreviewCase {
    RenameType type;
    std::string name, levelOne, levelTwo;
    std::vector<std::string> taken; // in the destination; "name/" is a folder
    std::string expected;           // the preview line; a path joined by " / " is a promise the move keeps
    std::string moved = "";         // where the move puts the file, when the line shows it escaped
    std::string source = "IMG_20190704_153012.JPG";
    std::vector<std::string> beside = {}; // in the source folder, with the option to move companions on
};

void PrintTo(const PreviewCase& c, std::ostream* os)
{
    *os << "“" << c.name << "” in “" << c.levelOne << "” / “" << c.levelTwo << "” gives " << c.expected;
}

class PreviewTable : public ControllerTest, public ::testing::WithParamInterface<PreviewCase> {};

// Guards a preview line that is wrong (a 255-byte name called too long), makes or lists anything, or promises a place
// the move does not keep.
TEST_P(PreviewTable, ShowsWhereTheMoveWouldPutTheFileAndCreatesNothing)
{
    const PreviewCase& c = GetParam();
    dir.write("src/" + c.source, "photo");
    for (const std::string& name : c.beside)
        dir.write("src/" + name, name);
    controller.setMoveCompanionsTogether(!c.beside.empty());
    for (const std::string& t : c.taken)
        t.back() == '/' ? dir.makeFolder("Sorted/" + t) : dir.write("Sorted/" + t, "taken");
    scan(dir / "src");
    chooseDestination(dir.makeFolder("Sorted"));
    const std::string before = tree(dir.path());
    window.files.listings = 0;
    window.renameTypeMenu.index = c.type == Untested ? 5 : static_cast<long>(c.type);
    window.newFileNameTextField.value = c.name;
    window.subFolderOneBox.value = c.levelOne;
    window.subSubFolder.value = c.levelTwo;
    controller.updateDestinationPreview();
    EXPECT_EQ(window.destinationPreviewField.value, c.expected);
    EXPECT_EQ(tree(dir.path()) + join(window.files.log), before);
    EXPECT_EQ(window.files.listings, 0) << "no folder is listed for the preview";

    // The move puts the file where a line joined by " / " says, or does not happen.
    controller.moveAndRenameButton(nullptr);
    std::string placed = c.expected.starts_with("Sorted / ") ? c.expected.substr(9) : "";
    const std::size_t plus = placed.find(" + .");
    std::string companions = plus == std::string::npos ? "" : placed.substr(plus + 4);
    placed = placed.substr(0, plus);
    for (std::size_t at; (at = placed.find(" / ")) != std::string::npos;)
        placed.replace(at, 3, "/");
    placed = c.moved.empty() ? placed : c.moved;
    // Each companion beside the file, its stem the file's: "Beach 2.HEIC" brings "Beach 2.MOV".
    std::set<std::string> moved;
    for (std::size_t at; !companions.empty(); companions.erase(0, at == std::string::npos ? at : at + 3)) {
        at = companions.find(", .");
        const std::string suffix = companions.substr(0, at);
        const std::string name = stemOf(url(c.source)) + "." + suffix;
        moved.insert(name);
        EXPECT_EQ(readFile(dir / ("Sorted/" + placed.substr(0, placed.rfind('.')) + "." + suffix)), name);
    }
    for (const std::string& name : c.beside)
        EXPECT_EQ(exists(dir / ("src/" + name)), !moved.contains(name)) << name;
    EXPECT_EQ(exists(dir / ("src/" + c.source)), placed.empty());
    if (!placed.empty()) {
        EXPECT_EQ(readFile(dir / ("Sorted/" + placed)), "photo");
        EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: " + placed.substr(placed.rfind('/') + 1));
    }
    for (const std::string& t : c.taken)
        EXPECT_TRUE(t.back() == '/' || readFile(dir / ("Sorted/" + t)) == "taken") << t << " must survive";
}

const std::string blocked = "“blocked” is a file, not a folder: the move would fail.";
const std::string stem = "IMG_20190704_153012";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Entries, PreviewTable, ::testing::Values(
    PreviewCase{NewName, "Beach", "", "", {}, "Sorted / Beach.JPG"},
    PreviewCase{NewName, "Beach", "", "", {"Beach.JPG", "Beach 2.JPG/"}, "Sorted / Beach 3.JPG"},
    PreviewCase{NewName, "Beach", "", "", {"Beach.JPG", "Beach 3.JPG"}, "Sorted / Beach 2.JPG"},
    PreviewCase{WithStem, "Beach", "", "", {}, "Sorted / " + stem + "_Beach.JPG"},
    PreviewCase{WithStem, "Beach", "Trips", "2024", {"Trips/2024/" + stem + "_Beach.JPG"}, "Sorted / Trips / 2024 / " + stem + "_Beach 2.JPG"},
    PreviewCase{WithShortStem, "Beach", "Trips/2024", "", {"Trips/"}, "Sorted / Trips / 2024 / IMG_20190_Beach.JPG"},
    PreviewCase{WithShortStem, "Beach", "", "", {"IMG_20190_Beach.JPG", "IMG_20190_Beach 2.JPG"}, "Sorted / IMG_20190_Beach 3.JPG"},
    PreviewCase{NewName, "Beach", "", "2024", {"Beach.JPG"}, "Sorted / 2024 / Beach.JPG"},
    PreviewCase{Untested, "Beach", "", "", {"Other.JPG"}, "Sorted / Beach.JPG"},
    PreviewCase{NewName, "caf\xe9", "a\nb", "", {}, "Sorted / a\\x0Ab / caf\uFFFD.JPG", "a\nb/caf\xe9.JPG"},
    PreviewCase{WithStem, "y", "", "", {}, "Sorted / caf\uFFFD-\uFFFD_y.heic", "caf\xe9-\xff_y.heic", "caf\xe9-\xff.heic"},
    PreviewCase{WithShortStem, "x", "", "", {}, "Sorted / e\u0301e\u0301e\u0301abcdef_x.jpg", "", "e\u0301e\u0301e\u0301abcdefgh.jpg"},
    PreviewCase{Untested, "Beach", "", "", {"Beach.JPG"}, "“Beach.JPG” is taken: the move would fail."},
    PreviewCase{NewName, std::string(251, 'a'), std::string(255, 'd'), "", {}, "Sorted / " + std::string(255, 'd') + " / " + std::string(251, 'a') + ".JPG"},
    PreviewCase{NewName, std::string(252, 'a'), "", "", {}, "\u201C" + std::string(252, 'a') + ".JPG\u201D is too long for a name: the move would fail."},
    PreviewCase{NewName, "Beach", std::string(256, 'd'), "", {}, "\u201C" + std::string(256, 'd') + "\u201D is too long for a name: the move would fail."},
    PreviewCase{NewName, "", "Trips", "", {}, "Type a name for the file first."},
    PreviewCase{WithStem, "a/b", "", "", {}, "A name can’t contain “/”. Type the name without slashes."},
    PreviewCase{NewName, "Beach", std::string("a\0b", 3), "", {}, "A folder name can’t contain a null character."},
    PreviewCase{NewName, "Beach", "blocked", "2024", {"blocked"}, blocked},
    PreviewCase{NewName, "Beach", "Trips/blocked/deeper", "", {"Trips/blocked"}, blocked},
    // With the option to move companions together: one number free for every file, each its own extension.
    PreviewCase{NewName, "Beach", "", "", {"Beach.MOV"}, "Sorted / Beach 2.HEIC + .MOV, .AAE", "", "IMG_0412.HEIC", {"IMG_0412.MOV", "IMG_0412.AAE"}},
    PreviewCase{NewName, "Beach", "Trips", "", {"Trips/Beach.HEIC", "Trips/Beach 2.AAE"}, "Sorted / Trips / Beach 3.HEIC + .MOV, .AAE", "", "IMG_0412.HEIC", {"IMG_0412.MOV", "IMG_0412.AAE"}},
    PreviewCase{WithStem, "Beach", "", "", {}, "Sorted / DSC_2041_Beach.JPG + .JPG.xmp, .NEF, .NEF.xmp, .xmp", "", "DSC_2041.JPG", {"DSC_2041.NEF", "DSC_2041.NEF.xmp", "DSC_2041.xmp", "DSC_2041.JPG.xmp", "DSC_2041.tif"}},
    PreviewCase{WithShortStem, "x", "", "", {"IMG_20190_x.JPG/"}, "Sorted / IMG_20190_x 2.JPG + .dng, .Thm", "", stem + ".JPG", {stem + ".dng", stem + ".Thm", "img_20190704_153012.DNG", stem + ".mov.txt"}},
    PreviewCase{NewName, "Clip", "", "", {}, "Sorted / Clip.MOV + .THM", "", "MVI_0001.MOV", {"MVI_0001.THM", "MVI_0001.NEF"}},
    PreviewCase{Untested, "Beach", "", "", {"Beach.MOV"}, "“Beach.MOV” is taken: the move would fail.", "", "IMG_0412.HEIC", {"IMG_0412.MOV"}}));
// clang-format on

// Guards the preview not following the folders, the rename type, the file on show and its disappearance.
TEST_F(ControllerTest, PreviewFollowsTheFoldersAndTheFileOnShow)
{
    EXPECT_EQ(window.destinationPreviewField.value, "Choose a source folder to start.");
    scan(dir.fill({"a.jpg", "b.png"}));
    EXPECT_EQ(window.destinationPreviewField.value, "Choose a destination folder to see where the file will go.");
    window.renameTypeMenu.index = 1;
    window.newFileNameTextField.value = "x";
    chooseDestination(dir.makeFolder("dest"));
    EXPECT_EQ(window.destinationPreviewField.value, "dest / a_x.jpg");
    controller.nextImageButton(nullptr);
    EXPECT_EQ(window.destinationPreviewField.value, "dest / b_x.png");

    controller.moveImageToTrash(nullptr); // the last file stays on show, gone
    EXPECT_EQ(window.destinationPreviewField.value, "“b.png” is no longer in its folder: there is nothing to move.");
    std::filesystem::remove_all(dir / "dest");
    controller.prevImageButton(nullptr);
    EXPECT_EQ(window.destinationPreviewField.value, "The destination folder “dest” is missing: the move would fail.");

    scan(dir.fill({"notes.txt"}, "empty"));
    EXPECT_EQ(window.destinationPreviewField.value, "There is no file to move.");
}

} // namespace
