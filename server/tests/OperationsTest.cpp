// What the operator and the account owner rely on beyond the protocol:
// thumbnails, retention, deleting, one server per data folder, backups.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>
// jpeglib.h expects FILE and size_t to be declared first.
#include <jpeglib.h>

#include "TestSupport.h"
#include "handlers/Router.h"
#include "imaging/JpegCheck.h"
#include "imaging/Thumbnail.h"
#include "imaging/ThumbnailMaker.h"
#include "ops/Backup.h"
#include "ops/Retention.h"

namespace snapora::server {

namespace fs = std::filesystem;
using testing::FilesIn;
using testing::ServerWorld;

namespace {

// A picture of one colour in the given colour space (CMYK stored inverted, as Adobe's programs do).
std::string SolidJpeg(int width, int height, int components, std::array<unsigned char, 4> value) {
    return testing::EncodeJpeg(width, height, components, [&](int, unsigned char* row) {
        for (int i = 0; i < width * components; ++i) row[i] = value[std::size_t(i % components)];
    });
}

struct Decoded {
    int width = 0, height = 0;
    std::array<double, 3> mean{};
};

Decoded Decode(const std::string& jpeg) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    Decoded d{int(info.output_width), int(info.output_height), {}};
    std::vector<unsigned char> row(info.output_width * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW pointer = row.data();
        jpeg_read_scanlines(&info, &pointer, 1);
        for (std::size_t i = 0; i < row.size(); ++i) d.mean[i % 3] += row[i];
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    for (double& m : d.mean) m /= double(d.width) * d.height;
    return d;
}


}  // namespace

TEST(Thumbnail, FitsTheBoxKeepsTheShapeAndNeverEnlarges) {
    struct Case { int width, height, thumbWidth, thumbHeight; } cases[] = {
        {1920, 1080, 400, 225}, {3840, 2160, 400, 225}, {7680, 2160, 400, 113}, {1080, 1920, 169, 300},
        {400, 300, 400, 300},   {100, 50, 100, 50},     {65500, 1, 400, 1},     {1, 65500, 1, 300},
    };
    for (const Case& c : cases) {
        PictureSize size = ThumbnailSizeFor(c.width, c.height);
        EXPECT_EQ(size.width, c.thumbWidth) << c.width << "x" << c.height;
        EXPECT_EQ(size.height, c.thumbHeight) << c.width << "x" << c.height;
    }
}

// Scaled decoding and the average keep a picture's colour, whatever its colour space.
TEST(Thumbnail, KeepsTheColoursOfEveryKindOfJpegAndRefusesTheRest) {
    struct Case { int width, height, components; std::array<unsigned char, 4> stored; std::array<double, 3> colour; } cases[] = {
        {1920, 1080, 3, {200, 40, 90, 0}, {200, 40, 90}},
        {1000, 700, 1, {120, 0, 0, 0}, {120, 120, 120}},
        {900, 500, 4, {255, 0, 0, 255}, {255, 0, 0}},  // CMYK inverted: no cyan ink, full magenta and yellow
        {3, 2, 3, {10, 220, 30, 0}, {10, 220, 30}},
        {120, 5000, 3, {90, 90, 250, 0}, {90, 90, 250}},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.components);
        std::optional<std::string> thumbnail = MakeThumbnail(SolidJpeg(c.width, c.height, c.components, c.stored));
        ASSERT_TRUE(thumbnail) << what;
        Decoded d = Decode(*thumbnail);
        PictureSize expected = ThumbnailSizeFor(c.width, c.height);
        EXPECT_EQ(d.width, expected.width) << what;
        EXPECT_EQ(d.height, expected.height) << what;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(d.mean[k], c.colour[k], 4.0) << what << " channel " << k;
    }
    const std::string jpeg = testing::MakeJpeg(640, 480);
    // Found by fuzzing: libjpeg gives up inside the scan, after the rows' memory was taken (the
    // leak detector of the sanitizer run watches that nothing is left behind).
    const std::string brokenScan(
        "\xFF\xD8\xFF\xFF\xFF\xFF\xFF\xFF\xDB\x00\x43\x00\x03\x02\x02\x02\x02\x02\x03\x02\x02\x02\x03\x03\x03\x03\x04\x06\x04\x04"
        "\x04\x04\x04\x08\x06\x06\x05\x06\x09\x08\x0A\x0A\x09\x08\x09\x09\x0A\x0C\x0F\x0C\x07\x32\xDC\x93\x1B\x53\xE9\x33\xDD\x24"
        "\x99\x10\x10\x11\x10\x0A\x0C\x12\x13\x12\x10\x13\x0F\x10\x10\x10\xFF\xC0\x00\x0B\x08\x02\x37\x01\x00\x01\x01\x11\x00\xA1"
        "\x01\x11\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\xD4\xFD\x29\x07\x0E\x7B\xD0\xEF\x7A\x43\x40\xFA\x52\x1F\x3F\xFF\x3D\xD9",
        120);
    EXPECT_FALSE(CheckJpeg(brokenScan));
    for (const std::string& garbage : {std::string(), std::string("not a picture"), jpeg.substr(0, 30),
                                       std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\xFF\xFF\xFF\xFF\x03", 12),
                                       brokenScan})
        EXPECT_FALSE(MakeThumbnail(garbage)) << garbage.size();
    EXPECT_TRUE(MakeThumbnail(jpeg.substr(0, jpeg.size() / 2)));  // cut short: what arrived, the rest grey
}

// The thumbnail file lies beside its picture; an orphan from a crash is moved aside at the next start.
// (What every store does with thumbnails and deletions: StoreTest.cpp.)
TEST(SqliteStore, ThumbnailFilesLieBesideTheirPictureAndOrphansAreMovedAside) {
    ServerWorld world;
    Screenshot kept = world.Add(100);
    ASSERT_TRUE(world.thumbnails.Get(kept));
    EXPECT_TRUE(fs::exists(world.folder.Path() + "/pictures/" + kept.fileKey + ".thumb.jpg"));
    std::ofstream(world.folder.Path() + "/pictures/0123456789abcdef0123456789abcdef.thumb.jpg") << "orphan";
    world.store.reset();
    SqliteStore reopened(world.folder.Path());
    EXPECT_EQ(reopened.Recover().quarantined, std::vector<std::string>{"0123456789abcdef0123456789abcdef.thumb.jpg"});
    EXPECT_TRUE(reopened.LoadThumbnail(kept));
}

// While uploads keep coming, thumbnails wait for a pause; a page that asks
// for one gets it at once. Made from the upload's check, the thumbnail is the
// one the stored picture gives.
TEST(ThumbnailMaker, WaitsForAPauseInTheUploadsUnlessAPageAsks) {
    using namespace std::chrono_literals;
    ServerWorld world;
    ThumbnailMaker maker(*world.store, 1, 256, 64 * 1024 * 1024, 5s);
    const Screenshot first = world.Add(100), second = world.Add(101);
    const auto started = std::chrono::steady_clock::now();
    const std::string jpeg = testing::MakeJpeg(640, 480);
    maker.Prepare(first, *CheckJpeg(jpeg));
    maker.Prepare(second, *CheckJpeg(jpeg));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(world.store->LoadThumbnail(first));  // uploads are still coming
    EXPECT_EQ(maker.Get(first), MakeThumbnail(jpeg));  // a page asks: made now
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(world.store->LoadThumbnail(second));
    for (int i = 0; i < 400 && !world.store->LoadThumbnail(second); ++i) std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(world.store->LoadThumbnail(second));  // after the pause
}

TEST(SqliteStore, OneServerPerDataFolder) {
    ServerWorld world;
    EXPECT_THROW(SqliteStore second(world.folder.Path()), StoreError);
    world.store.reset();
    EXPECT_NO_THROW(SqliteStore again(world.folder.Path()));
}

// The sweep deletes what is too old, its files with it, tells the open session pages, and drops empty sessions.
TEST(Retention, SweepDeletesOldScreenshotsAndTheirEmptySessions) {
    ServerWorld world;
    const std::int64_t day = 24 * 3600;
    Session old = world.store->OpenSession("alt", world.now - 10 * day, 60);
    Session live = world.store->OpenSession("neu", world.now - 2 * day, 60);
    Screenshot inOld = world.Add(world.now - 10 * day, std::nullopt, old.id);
    Screenshot inLive = world.Add(world.now - 8 * day, std::nullopt, live.id);
    Screenshot fresh = world.Add(world.now - 2 * day, std::nullopt, live.id);
    Screenshot edge = world.Add(world.now - 7 * day + 1);
    int wokenLive = 0;
    world.board.Subscribe(live.id, [&] { ++wokenLive; });

    SweepResult swept = SweepOldScreenshots(world.context, 7);
    EXPECT_EQ(swept.screenshots, 2u);
    EXPECT_EQ(swept.sessions, 1);
    EXPECT_FALSE(world.store->FindScreenshot(inOld.name));
    EXPECT_FALSE(world.store->FindScreenshot(inLive.name));
    EXPECT_TRUE(world.store->FindScreenshot(fresh.name));
    EXPECT_TRUE(world.store->FindScreenshot(edge.name));
    EXPECT_FALSE(world.store->FindSession("alt"));
    EXPECT_TRUE(world.store->FindSession("neu"));
    EXPECT_EQ(wokenLive, 1);
    EXPECT_EQ(FilesIn(world.folder.Path() + "/pictures"), 2);
    EXPECT_EQ(SweepOldScreenshots(world.context, 7).screenshots, 0u);
}

// What restore refuses, and what it does with a data folder that is in the way.
TEST(Backup, RestoreChecksTheBackupAndNeverOverwritesUnasked) {
    testing::TempFolder folder;
    const std::string data = folder.Path() + "/data", backup = folder.Path() + "/backup";
    std::string name, key;
    {
        ServerWorld world;
        Screenshot shot = world.Add(100);
        name = shot.name;
        key = shot.fileKey;
        world.thumbnails.Get(*world.store->FindScreenshot(name));
        BackupSummary summary = BackupData(world.folder.Path(), backup);
        EXPECT_EQ(summary.screenshots, 1);
        EXPECT_EQ(summary.linked, 1);
        EXPECT_THROW(BackupData(world.folder.Path(), backup), std::runtime_error);  // not into a full folder
        // The server holds its folder: restoring into it while it runs is refused.
        EXPECT_THROW(RestoreData(backup, world.folder.Path(), true), std::runtime_error);
    }
    EXPECT_EQ(RestoreData(backup, data, false).screenshots, 1);
    EXPECT_THROW(RestoreData(backup, data, false), std::runtime_error);
    RestoreSummary replaced = RestoreData(backup, data, true);
    EXPECT_TRUE(fs::exists(replaced.setAside + "/snapora.db"));
    {
        SqliteStore restored(data);
        std::optional<Screenshot> shot = restored.FindScreenshot(name);
        ASSERT_TRUE(shot);
        EXPECT_EQ(testing::ReadPicture(restored.OpenPicture(*shot)), testing::MakeJpeg(64, 48));
        EXPECT_TRUE(restored.LoadThumbnail(*shot));
    }
    fs::remove(backup + "/pictures/" + key + ".jpg");
    EXPECT_THROW(RestoreData(backup, folder.Path() + "/other", false), std::runtime_error);  // incomplete
    EXPECT_THROW(RestoreData(folder.Path() + "/nothing", folder.Path() + "/other", false), std::runtime_error);
}

}  // namespace snapora::server
