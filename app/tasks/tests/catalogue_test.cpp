// The image catalogue on a real combo box, and the version questions.
#include <gtest/gtest.h>

#include <memory>

#include "fake_platform.h"
#include "forms/Main.h"
#include "tasks/catalogue.h"

namespace kv {
namespace {

const char kRom[] = "C:\\KAVELTON\\ROM\\*.*";

class BoxForm : public ui::TForm {
public:
    BoxForm()
        : TForm(ui::FormStyle{"KvTestBox", "box", 0, 0, 200, 100}, nullptr),
          Box(*this, 1, 10, 10, 150, 24, "ComboBox1", ui::Font{13}) {}
    ui::TComboBox Box;
};

class CatalogueTest : public ::testing::Test {
protected:
    test::ScopedFake scoped;
    test::FakePlatform& fake = scoped.fake;
    BoxForm form;

    void Folder(std::vector<FolderEntry> entries) { fake.folders[kRom] = std::move(entries); }
    std::vector<std::string> Items() {
        std::vector<std::string> out;
        for (int i = 0; i < form.Box.ItemCount(); ++i) out.push_back(form.Box.Item(i));
        return out;
    }
};

TEST_F(CatalogueTest, ListsFilesInFolderOrderAndSkipsDirectoriesAndLongNames) {
    Folder({{".", FILE_ATTRIBUTE_DIRECTORY},
            {"..", FILE_ATTRIBUTE_DIRECTORY},
            {"OLD", FILE_ATTRIBUTE_DIRECTORY},
            {"Z.005", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY},
            {"ABCDEFGHI.123", FILE_ATTRIBUTE_ARCHIVE},    // 13 characters: listed
            {"ABCDEFGHIJ.123", FILE_ATTRIBUTE_ARCHIVE}}); // 14: not listed
    EXPECT_EQ(FillImageCatalogue(form.Box), 2);
    EXPECT_EQ(Items(), (std::vector<std::string>{"Z.005", "ABCDEFGHI.123"}));
    EXPECT_EQ(form.Box.Text(), "ABCDEFGHI.123");
    EXPECT_EQ(fake.CallCount(std::string("ListFolder ") + kRom + " 63"), 1);
}

TEST_F(CatalogueTest, FirstOfTheHighestValuesIsPreselected) {
    Folder({{"A.010", 0}, {"B.020", 0}, {"C.020", 0}});
    EXPECT_EQ(FillImageCatalogue(form.Box), 3);
    EXPECT_EQ(form.Box.Text(), "B.020");
}

TEST_F(CatalogueTest, NamesWithoutNumbersPreselectTheFirst) {
    Folder({{"X.ROM", 0}, {"Y.BIN", 0}});
    FillImageCatalogue(form.Box);
    EXPECT_EQ(form.Box.Text(), "X.ROM");
}

TEST_F(CatalogueTest, ShortNamesRankWithoutARangeError) {
    Folder({{"A.", 0}, {"B.7", 0}, {"C", 0}});
    EXPECT_EQ(FillImageCatalogue(form.Box), 3);
    EXPECT_EQ(form.Box.Text(), "B.7");
}

TEST_F(CatalogueTest, OneFileIsPreselectedWhateverItsName) {
    Folder({{"readme", 0}});
    EXPECT_EQ(FillImageCatalogue(form.Box), 1);
    EXPECT_EQ(form.Box.Text(), "readme");
}

TEST_F(CatalogueTest, MissingOrEmptyFolderEmptiesTheBox) {
    EXPECT_EQ(FillImageCatalogue(form.Box), 0);
    EXPECT_EQ(form.Box.Text(), "");
    Folder({{"SUB", FILE_ATTRIBUTE_DIRECTORY}});
    form.Box.AddItem("stale");
    EXPECT_EQ(FillImageCatalogue(form.Box), 0);
    EXPECT_EQ(form.Box.ItemCount(), 0);
}

TEST_F(CatalogueTest, NamesTheTasksRefuseAreNeitherListedNorCounted) {
    std::vector<FolderEntry> entries = {{"my bios.040", 0}, {"A.030", 0}, {"??.060", 0},
                                        {"x&y.050", 0}};
    for (int i = 0; i < 10; ++i) entries.push_back({"F" + std::to_string(i) + ".00" + std::to_string(i), 0});
    Folder(entries);
    EXPECT_EQ(FillImageCatalogue(form.Box), 10);
    const std::vector<std::string> items = Items();
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[0], "A.030");
    EXPECT_EQ(items[9], "F8.008") << "a refused name leaves its place to the next usable one";
    EXPECT_EQ(form.Box.Text(), "A.030");
}

TEST_F(CatalogueTest, AtMostTenNamesAreListed) {
    std::vector<FolderEntry> entries;
    for (int i = 0; i < 14; ++i) entries.push_back({"F" + std::to_string(i) + ".0" + std::to_string(10 + i), 0});
    Folder(entries);
    EXPECT_EQ(FillImageCatalogue(form.Box), 10);
    EXPECT_EQ(form.Box.ItemCount(), 10);
    EXPECT_EQ(form.Box.Text(), "F9.019");
}

// --- version questions ------------------------------------------------------

class VersionQuestionTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.files["C:\\KAVELTON\\System.txt"].bytes = "ID:x\n";
        main = std::make_unique<TMainForm>();
        main->BIOSVersion = "KV1.105";
        fake.messages.clear();
    }
    test::ScopedFake scoped;
    test::FakePlatform& fake = scoped.fake;
    std::unique_ptr<TMainForm> main;
};

const char kNewer[] = "Your system BIOS version\nis newer than you select,\ndo you want to continue?";
const char kLatest[] =
    "This computer BIOS version is already the latest\nor more updated than the BIOS version you "
    "are going to flash.\nDo you still want to continue (Y/N)?";

TEST_F(VersionQuestionTest, NewerImageGoesOnWithoutAQuestion) {
    EXPECT_TRUE(CheckImageVersion(false, main->BIOSVersion, "KV1.106", Boxes()));
    EXPECT_TRUE(CheckImageVersion(true, main->BIOSVersion, "KV1.106", Boxes()));
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(VersionQuestionTest, EqualImageAsksPerDialog) {
    fake.answers = {IDNO, IDYES};
    EXPECT_FALSE(CheckImageVersion(false, main->BIOSVersion, "KV1.105", Boxes()));
    EXPECT_TRUE(CheckImageVersion(true, main->BIOSVersion, "KV1.105", Boxes()));
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_EQ(fake.messages[0].text, kNewer);
    EXPECT_EQ(fake.messages[1].text, kLatest);
    for (const auto& m : fake.messages) {
        EXPECT_EQ(m.title, "Compare BIOS Version");
        EXPECT_EQ(m.style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_TOPMOST));
    }
}

TEST_F(VersionQuestionTest, OlderImageAsksTheNewerBiosQuestionInBothModes) {
    fake.answers = {IDYES, IDNO};
    EXPECT_TRUE(CheckImageVersion(false, main->BIOSVersion, "KV1.104", Boxes()));
    EXPECT_FALSE(CheckImageVersion(true, main->BIOSVersion, "KV1.104", Boxes()));
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_EQ(fake.messages[0].text, kNewer);
    EXPECT_EQ(fake.messages[1].text, kNewer);
}

TEST_F(VersionQuestionTest, VersionsThatCannotBeComparedAskTheirOwnQuestion) {
    struct Case {
        std::string running;
        std::string image;
        bool equalCaseQuestion;
        int answer;
    };
    const Case cases[] = {
        {"KV1.105", "", false, IDNO},
        {"KV1.105", "NODOTATALL", true, IDYES},
        {"....", "KV1.106", true, IDNO},
        {"1.010 build 2024", "B.020", false, IDYES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.running + " / " + c.image);
        fake.messages.clear();
        fake.answers = {c.answer};
        EXPECT_EQ(CheckImageVersion(c.equalCaseQuestion, c.running, c.image, Boxes()), c.answer == IDYES);
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text, "The BIOS versions can not be compared:\nrunning BIOS version: " +
                                             c.running + "\nselected BIOS file: " + c.image +
                                             "\nDo you want to continue?");
        EXPECT_EQ(fake.messages[0].title, "Compare BIOS Version");
        EXPECT_EQ(fake.messages[0].style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_TOPMOST));
    }
}

}  // namespace
}  // namespace kv
