// The compiled resource script: every dialog template at the ids, sizes,
// styles, fonts and control positions the pages rely on, and every picture
// at the size its window draws it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "res/resource.h"
#include "tests/ui/res_file.h"
#include "ui/dialog_template.h"

namespace qm::ui::testing {
namespace {

constexpr int kRtBitmap = 2, kRtDialog = 5, kRtGroupIcon = 14;

constexpr uint32_t kWsPopup = 0x80000000, kWsChild = 0x40000000, kWsVisible = 0x10000000,
                   kWsCaption = 0x00C00000, kWsBorder = 0x00800000, kWsThickFrame = 0x00040000,
                   kWsSysMenu = 0x00080000, kWsMinimizeBox = 0x00020000,
                   kWsExAppWindow = 0x00040000;

class ResourceScript : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        auto read = ReadResFile(QM_RESOURCE_FILE);
        ASSERT_TRUE(read) << "cannot read " << QM_RESOURCE_FILE;
        resources_ = new ResourceMap(std::move(*read));
    }
    static void TearDownTestSuite() {
        delete resources_;
        resources_ = nullptr;
    }

    static DialogTemplate Dialog(int id) {
        const auto found = resources_->find({kRtDialog, id});
        if (found == resources_->end()) {
            ADD_FAILURE() << "no dialog " << id;
            return {};
        }
        auto parsed = ParseDialogTemplate(found->second.data(), found->second.size());
        if (!parsed) {
            ADD_FAILURE() << "dialog " << id << " does not parse";
            return {};
        }
        EXPECT_TRUE(parsed->extended) << "dialog " << id << " is not in the extended form";
        return *parsed;
    }

    static const TemplateItem* Item(const DialogTemplate& t, int id) {
        for (const TemplateItem& item : t.items) {
            if (item.id == id) return &item;
        }
        ADD_FAILURE() << "no control " << id;
        return nullptr;
    }

    struct Placed {
        int id, x, y, cx, cy;
    };
    static void ExpectPlacement(const DialogTemplate& t, std::initializer_list<Placed> controls) {
        for (const Placed& p : controls) {
            const TemplateItem* item = Item(t, p.id);
            if (!item) continue;
            EXPECT_EQ(item->x, p.x) << p.id;
            EXPECT_EQ(item->y, p.y) << p.id;
            EXPECT_EQ(item->cx, p.cx) << p.id;
            EXPECT_EQ(item->cy, p.cy) << p.id;
        }
    }

    static void ExpectMsSansSerif8(const DialogTemplate& t) {
        EXPECT_EQ(t.font.face, u"MS Sans Serif");
        EXPECT_EQ(t.font.points, 8);
    }

    static ResourceMap* resources_;
};

ResourceMap* ResourceScript::resources_ = nullptr;

TEST_F(ResourceScript, MainWindow) {
    const DialogTemplate t = Dialog(IDD_MAIN);
    EXPECT_EQ(t.cx, 414);
    EXPECT_EQ(t.cy, 286);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    const uint32_t wanted = kWsPopup | kWsCaption | kWsSysMenu | kWsMinimizeBox;
    EXPECT_EQ(t.style & wanted, wanted);
    EXPECT_EQ(t.style & (kWsChild | kWsThickFrame), 0u);
    EXPECT_TRUE(t.exStyle & kWsExAppWindow);
    ExpectMsSansSerif8(t);
    ASSERT_EQ(t.items.size(), 6u);
    ExpectPlacement(t, {{1099, 9, 54, 62, 37},
                        {1001, 9, 96, 62, 37},
                        {1002, 9, 137, 62, 37},
                        {1020, 9, 179, 62, 37},
                        {1005, 9, 220, 63, 37},
                        {1006, 384, 6, 26, 11}});
    for (const TemplateItem& item : t.items) EXPECT_EQ(item.style & 0xF, 0u) << "push button";
    // At 6 x 13 pixel base units the client area takes the 620 x 465 picture.
    EXPECT_EQ(DialogUnitsToPixels(t.cx, 6, 4), 621);
    EXPECT_EQ(DialogUnitsToPixels(t.cy, 13, 8), 465);
}

TEST_F(ResourceScript, PagesAreChildDialogs) {
    struct Page {
        int id, cx, cy;
    } pages[] = {{IDD_FIND_FIX, 428, 221},
                 {IDD_STARTUP, 347, 246},
                 {IDD_OPTIONS, 329, 221},
                 {IDD_BACKUP, 342, 223},
                 {IDD_ABOUT, 353, 214}};
    for (const Page& p : pages) {
        const DialogTemplate t = Dialog(p.id);
        EXPECT_EQ(t.cx, p.cx) << p.id;
        EXPECT_EQ(t.cy, p.cy) << p.id;
        EXPECT_TRUE(t.style & kWsChild) << p.id;
        // Created hidden and shown by the main window; no caption.
        EXPECT_EQ(t.style & (kWsVisible | kWsCaption | kWsPopup), 0u) << p.id;
        ExpectMsSansSerif8(t);
    }
}

TEST_F(ResourceScript, FindFixPage) {
    const DialogTemplate t = Dialog(IDD_FIND_FIX);
    // The size at which the main window shows its pages: 642 x 359 pixels.
    EXPECT_EQ(DialogUnitsToPixels(t.cx, 6, 4), 642);
    EXPECT_EQ(DialogUnitsToPixels(t.cy, 13, 8), 359);
    std::set<int> ids;
    for (const TemplateItem& item : t.items) ids.insert(item.id);
    EXPECT_EQ(ids, (std::set<int>{1226, 1220, 1217, 1219, 1218, 1144, 1021, 1019, 1237}));
    for (int hidden : {1218, 1144, 1237}) {
        if (const TemplateItem* item = Item(t, hidden)) {
            EXPECT_FALSE(item->style & kWsVisible) << hidden;
        }
    }
    // The category list holds its 200 + 170 + 115 pixel columns inside its
    // 2-pixel borders, and ends inside the 501 pixels of the page that the
    // main window's client area shows (621 - 120).
    if (const TemplateItem* list = Item(t, 1217)) {
        EXPECT_EQ(DialogUnitsToPixels(list->cx, 6, 4) - 4, 485);
        EXPECT_LE(DialogUnitsToPixels(list->x + list->cx, 6, 4), 501);
        EXPECT_EQ(list->style & 0x3, 0x1u) << "report view";
    }
    // The busy bar is 270 pixels wide, so its twentieth block never shows.
    if (const TemplateItem* bar = Item(t, 1144)) {
        EXPECT_EQ(DialogUnitsToPixels(bar->cx, 6, 4), 270);
    }
}

TEST_F(ResourceScript, DetailsDialog) {
    const DialogTemplate t = Dialog(IDD_FOUND_ITEMS);
    EXPECT_TRUE(t.style & kWsPopup);
    EXPECT_EQ(t.style & kWsCaption, kWsCaption);
    EXPECT_FALSE(t.style & kWsThickFrame);  // no sizing border
    std::set<int> ids;
    for (const TemplateItem& item : t.items) ids.insert(item.id);
    EXPECT_EQ(ids, (std::set<int>{1222, 1111, 1232, 1233, 1, 2, 1240, 1241, 1242, 1243}));
    if (const TemplateItem* list = Item(t, 1111)) {
        EXPECT_TRUE(list->style & 0x20) << "owner-drawn with variable heights";
        EXPECT_TRUE(list->style & 0x40) << "keeps its texts";
    }
    // What was checked: a read-only box of many lines, between the list and
    // the buttons, beside the two ignore buttons.
    ExpectPlacement(t, {{1111, 7, 48, 306, 150},
                        {1241, 7, 212, 244, 50},
                        {1242, 258, 212, 55, 14},
                        {1243, 258, 230, 55, 14},
                        {2, 258, 268, 55, 14}});
    if (const TemplateItem* checked = Item(t, 1241)) {
        EXPECT_EQ(checked->style & 0x0804, 0x0804u) << "multi-line and read-only";
    }
}

TEST_F(ResourceScript, BackupAndStartupPages) {
    const DialogTemplate backup = Dialog(IDD_BACKUP);
    ExpectPlacement(backup, {{1231, 11, 2, 164, 18},
                             {1227, 11, 21, 316, 30},
                             {1202, 9, 53, 317, 138},
                             {1113, 188, 193, 60, 18},
                             {1019, 266, 193, 60, 18}});
    if (const TemplateItem* list = Item(backup, 1202)) {
        EXPECT_EQ(list->style & 0x3, 0x1u);
        EXPECT_TRUE(list->style & kWsBorder);
    }
    const DialogTemplate startup = Dialog(IDD_STARTUP);
    ExpectPlacement(startup,
                    {{1231, 11, 4, 162, 18}, {1224, 4, 29, 333, 22}, {1105, 5, 62, 323, 124}});
    if (const TemplateItem* list = Item(startup, 1105)) {
        EXPECT_EQ(list->style & 0x3, 0x1u);
        EXPECT_TRUE(list->style & 0x8) << "selection always shown";
        EXPECT_TRUE(list->style & kWsBorder);
    }
}

TEST_F(ResourceScript, OptionsPage) {
    const DialogTemplate t = Dialog(IDD_OPTIONS);
    ExpectPlacement(t, {{1231, 12, 4, 137, 19},
                        {1087, 17, 38, 10, 10},
                        {1017, 17, 52, 10, 10},
                        {1016, 17, 66, 10, 10},
                        {1234, 32, 38, 196, 10},
                        {1236, 32, 52, 197, 10},
                        {1235, 32, 66, 196, 10},
                        {1245, 17, 98, 294, 76},
                        {1246, 205, 180, 50, 14},
                        {1019, 261, 180, 50, 14}});
    for (int box : {1087, 1017, 1016}) {
        if (const TemplateItem* item = Item(t, box)) {
            EXPECT_EQ(item->style & 0xF, 0x3u) << "auto check box";
        }
    }
    for (int label : {1234, 1235, 1236}) {
        if (const TemplateItem* item = Item(t, label)) {
            EXPECT_TRUE(item->style & 0x100) << "notifies clicks";
        }
    }
}

TEST_F(ResourceScript, AboutSplashAndAlert) {
    const DialogTemplate about = Dialog(IDD_ABOUT);
    ExpectPlacement(about,
                    {{1228, 13, 1, 216, 21}, {-1, 34, 24, 52, 46}, {1229, 111, 39, 176, 33}});
    if (const TemplateItem* picture = Item(about, -1)) {
        EXPECT_EQ(picture->style & 0x1F, 0xEu) << "bitmap static";
        EXPECT_TRUE(picture->style & 0x1000) << "sunken edge";
    }

    const DialogTemplate splash = Dialog(IDD_SPLASH);
    EXPECT_EQ(splash.cx, 234);
    EXPECT_EQ(splash.cy, 149);
    EXPECT_TRUE(splash.style & kWsPopup);
    EXPECT_EQ(splash.style & (kWsCaption | kWsBorder | kWsThickFrame), 0u);
    ExpectPlacement(splash, {{1143, 11, 89, 102, 10}});

    const DialogTemplate alert = Dialog(IDD_ALERT);
    EXPECT_EQ(alert.cx, 177);
    EXPECT_EQ(alert.cy, 47);
    EXPECT_TRUE(alert.style & kWsPopup);
    EXPECT_EQ(alert.style & (kWsCaption | kWsBorder | kWsThickFrame | kWsVisible), 0u);
    EXPECT_EQ(alert.font.face, u"MS Shell Dlg");
    EXPECT_EQ(alert.font.points, 8);
    EXPECT_TRUE(alert.items.empty());
}

TEST_F(ResourceScript, PicturesHaveTheirSizes) {
    struct Picture {
        int id, width, height;
    } pictures[] = {
        {246, 365, 240}, {371, 620, 465}, {372, 94, 61}, {373, 94, 61},
        {374, 94, 61},   {375, 39, 19},   {376, 94, 61}, {377, 94, 61},
        {378, 94, 61},   {379, 94, 61},   {380, 94, 61}, {381, 94, 61},
        {382, 94, 61},   {383, 94, 61},   {384, 39, 19}, {387, 76, 72},
    };
    for (const Picture& p : pictures) {
        const auto found = resources_->find({kRtBitmap, p.id});
        ASSERT_NE(found, resources_->end()) << "no bitmap " << p.id;
        const std::vector<uint8_t>& b = found->second;
        ASSERT_GE(b.size(), 40u);
        auto at = [&](size_t i) {
            return static_cast<int32_t>(b[i] | (b[i + 1] << 8) | (b[i + 2] << 16) |
                                        (static_cast<uint32_t>(b[i + 3]) << 24));
        };
        EXPECT_EQ(at(0), 40) << p.id << ": a plain BITMAPINFOHEADER";
        EXPECT_EQ(at(4), p.width) << p.id;
        EXPECT_EQ(at(8), p.height) << p.id;
    }
    EXPECT_TRUE(resources_->count({kRtGroupIcon, IDI_APP}));
}

}  // namespace
}  // namespace qm::ui::testing
