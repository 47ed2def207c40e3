// The screenshot history: the limit rule, names and addresses, clearing,
// re-sending an older screenshot and the window's place.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "ProgramFixture.h"
#include "history/PictureStore.h"
#include "history/ScreenshotListForm.h"
#include "imaging/PackedPicture.h"
#include "settings/SettingsDialogForm.h"

namespace snapora {

class History : public ProgramTest {
protected:
    TScreenshotListForm& List() { return *program->Context().windows.history; }
    void SetLimit(int n) { program->Context().windows.settings->ScreenshotListCount.SetValue(n); }
    Bitmap Picture(int tag) {
        Bitmap b(4, 3);
        b.SetPixel(0, 0, Colour(tag));
        return b;
    }
    void Add(int tag) { List().AddScreenshot(Picture(tag)); }
    int TagAt(int index) { return int(List().Picture(index).Pixel(0, 0)); }
};

// Every pixel of a packed picture comes back, whatever its size (bands of 64
// rows, 4-byte row padding) and content (flat areas, text, noise, gradients:
// both filters); the store gives back its entries packed or not yet packed.
TEST(PackedPicture, GivesBackEveryPixel) {
    auto same = [](const Bitmap& a, const Bitmap& b) {
        if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
        for (int y = 0; y < a.Height(); ++y)
            if (std::memcmp(a.Row(y), b.Row(y), std::size_t(a.Width()) * 3) != 0) return false;
        return true;
    };
    std::uint32_t state = 5;
    std::vector<Bitmap> pictures;
    for (auto [width, height] : {std::pair{1, 1}, {3, 65}, {641, 64}, {1001, 130}, {1920, 200}}) {
        Bitmap b(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = b.Row(y) + 3 * x;
                const bool noisy = x > width / 2, text = y % 16 < 10 && x % 9 < 6 && x < width / 4;
                state = state * 1664525u + 1013904223u;
                p[0] = std::uint8_t(noisy ? state >> 24 : text ? 20 : x * 255 / width);
                p[1] = std::uint8_t(noisy ? state >> 16 : text ? 20 : y);
                p[2] = std::uint8_t(noisy ? state >> 8 : 230);
                if (height > 64 && y >= 64 && y < 128) {  // a band of smooth colour: the other filter
                    p[0] = std::uint8_t(x * 7 + y);
                    p[1] = std::uint8_t(x * 3);
                    p[2] = std::uint8_t(x * 5 + 2 * y);
                }
            }
        pictures.push_back(std::move(b));
    }
    PictureStore store;
    for (const Bitmap& picture : pictures) {
        SCOPED_TRACE(testing::Message() << picture.Width() << "x" << picture.Height());
        const PackedPicture packed(picture);
        EXPECT_TRUE(same(packed.Unpack(), picture));
        Bitmap reused = pictures[0];  // another size first, then the same size again
        packed.UnpackInto(reused);
        packed.UnpackInto(reused);
        EXPECT_TRUE(same(reused, picture));
        store.Insert(store.Size(), picture);
        EXPECT_TRUE(same(store.Picture(store.Size() - 1), picture));  // not packed yet
    }
    store.WaitUntilPacked();
    for (std::size_t i = 0; i < pictures.size(); ++i) EXPECT_TRUE(same(store.Picture(i), pictures[i])) << i;
    EXPECT_LT(store.Bytes(4), std::size_t(1920 * 200 * 3 * 3 / 4));  // half of it is noise
    store.Erase(0);
    store.Insert(0, pictures[2]);
    store.Clear();  // the packer may still hold an entry: nothing breaks
    store.Insert(0, pictures[3]);
    store.WaitUntilPacked();
    EXPECT_TRUE(same(store.Picture(0), pictures[3]));

    // A lent picture is read until it is packed (which waits for StartPacking), and no other.
    const Bitmap& lent = pictures[4];
    store.InsertLent(0, lent);
    EXPECT_TRUE(store.Reads(lent));
    EXPECT_FALSE(store.Reads(pictures[3]));
    EXPECT_FALSE(store.Reads(Bitmap()));
    store.WaitUntilReleased(lent);
    EXPECT_FALSE(store.Reads(lent));
    EXPECT_TRUE(same(store.Picture(0), lent));

    // While a capture holds packing, another bitmap's release waits for
    // nothing and starts nothing; the lent one's release ends the hold.
    store.InsertLent(0, lent);
    store.StartPacking();
    store.HoldPacking();
    store.WaitUntilReleased(pictures[3]);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(store.Reads(lent));  // held, before it or between its bands
    store.WaitUntilReleased(lent);
    EXPECT_FALSE(store.Reads(lent));

    // The packing can be held after every band of 64 rows.
    int pauses = 0;
    const PackedPicture counted(pictures[3].Row(0), pictures[3].Stride(), 1001, 130, [&] { ++pauses; });
    EXPECT_EQ(pauses, 3);
}

TEST_F(History, LimitZeroKeepsNothingNewButOlderEntries) {
    SetLimit(0);
    Add(1);
    EXPECT_TRUE(List().Names().empty());
    EXPECT_TRUE(List().Image1.Picture.IsEmpty());
    SetLimit(5);
    Add(1);
    SetLimit(0);
    Add(2);
    ASSERT_EQ(List().Names().size(), 1u);
    EXPECT_EQ(TagAt(0), 1);
}

TEST_F(History, SixthScreenshotPushesOutTheOldest) {
    for (int i = 1; i <= 6; ++i) Add(i);
    ASSERT_EQ(List().Names().size(), 5u);
    EXPECT_EQ(TagAt(0), 6);
    EXPECT_EQ(TagAt(4), 2);
    EXPECT_EQ(List().ListBox1.ItemIndex(), 0);
    EXPECT_EQ(List().Image1.Picture.Pixel(0, 0), Colour(6));
    EXPECT_EQ(List().Names()[0], "Neuer Screenshot");
}

TEST_F(History, LoweredLimitRemovesOnlyOneEntry) {
    SetLimit(10);
    for (int i = 1; i <= 10; ++i) Add(i);
    SetLimit(3);
    Add(11);
    ASSERT_EQ(List().Names().size(), 10u);
    EXPECT_EQ(TagAt(2), 9);
    EXPECT_EQ(TagAt(3), 7);  // the fourth newest (8) went
    SetLimit(-4);            // out of range in the field: never used as a position
    Add(12);
    EXPECT_EQ(List().Names().size(), 10u);
}

TEST_F(History, RenameOfTheNewestFollowsTheSelection) {
    Add(1);
    Add(2);
    List().ListBox1.SelectedByUser(1);
    List().RenameLatestScreenshot("neu", "http://x/neu");
    EXPECT_EQ(List().Names()[0], "neu");
    EXPECT_EQ(List().Targets()[0], "http://x/neu");
    EXPECT_EQ(List().DisplayURLEdit.Text(), "");  // the selected older entry's target
    List().ListBox1.SelectedByUser(0);
    EXPECT_EQ(List().DisplayURLEdit.Text(), "http://x/neu");
    List().ClearListButton.Click();
    EXPECT_TRUE(List().Names().empty() && List().Count() == 0 && List().Targets().empty());
    EXPECT_EQ(List().DisplayURLEdit.Text(), "");
    List().RenameLatestScreenshot("x", "y");  // nothing to rename
    EXPECT_TRUE(List().Names().empty());
}

TEST_F(History, ReEditingSendsTheOlderPictureAgain) {
    Main().Show();
    fake.desktop.monitors = {{0, 0, 320, 200}};
    std::intptr_t r;
    Main().Dispatch(WM_HOTKEY_, 101, 0, r);
    Main().WaitForWorker();
    Add(42);  // an older picture, selected
    List().ListBox1.SelectedByUser(0);
    EXPECT_FALSE(Main().EditCheckBox.Checked());
    List().EditScreenshotButton.Click();
    Main().WaitForWorker();
    EXPECT_TRUE(Main().EditCheckBox.Checked());  // and it stays ticked
    EXPECT_EQ(http.SentRequests().size(), 2u);
    EXPECT_EQ(State().ScreenshotBitmap.Pixel(0, 0), Colour(42));
    EXPECT_EQ(List().Names().size(), 3u);  // the result is a new entry; the old one stays
    EXPECT_EQ(fake.desktop.grabs.size(), 1u);  // no new grab

    List().ListBox1.SetItemIndex(-1);  // nothing selected: nothing happens
    List().EditScreenshotButton.Click();
    EXPECT_EQ(http.SentRequests().size(), 2u);
}

TEST_F(History, ReEditingWaitsForABusyWorker) {
    Main().Show();
    fake.desktop.monitors = {{0, 0, 320, 200}};
    http.HoldNext();
    std::intptr_t r;
    Main().Dispatch(WM_HOTKEY_, 101, 0, r);
    WaitUntilHeld();
    List().EditScreenshotButton.Click();
    EXPECT_EQ(http.SentRequests().size(), 1u);
    http.Release();
    Main().WaitForWorker();
}

TEST_F(History, WindowGoesBesideTheMainWindowWhenItFits) {
    fake.desktop.monitors = {{0, 0, 1920, 1080}};
    Main().SetBounds(100, 200, 416, 306);
    List().SetBounds(0, 0, 700, 470);
    List().Show();
    EXPECT_EQ(List().Left(), 100 + 416 + 5);
    EXPECT_EQ(List().Top(), 200 + 153 - 235);
    List().Hide();
    Main().SetBounds(1500, 200, 416, 306);  // near the right edge: it stays
    List().Show();
    EXPECT_EQ(List().Left(), 521);
}

}  // namespace snapora
