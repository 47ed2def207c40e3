#pragma once
// The picture files: DATA/pictures/KEY.jpg with its thumbnail KEY.thumb.jpg
// beside it, and DATA/staging/ for uploads that are still arriving. A picture enters the pictures folder only whole:
// synced, renamed into place, and the folder synced.

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "store/PictureReader.h"

namespace snapora::server {

class PictureFolder {
public:
    explicit PictureFolder(std::string dataDir);  // creates the folders; throws StoreError

    std::string StagingFolder() const { return staging_; }
    std::string PathOf(const std::string& key) const;
    // The picture's file, open for reading; nullptr when there is none.
    std::unique_ptr<PictureReader> Open(const std::string& key) const;
    // Syncs a staged file and moves it into the pictures folder; the staged
    // file is removed on failure too. The move itself is on disk only after
    // the next SyncFolder (one for many moves). Throws StoreError.
    void Place(const std::string& stagedFile, const std::string& key);
    // The same for a picture that arrived in memory.
    void Place(std::string_view picture, const std::string& key);
    void SyncFolder();
    // The picture and its thumbnail.
    void Remove(const std::string& key);

    std::string ThumbnailPathOf(const std::string& key) const;
    // Writes a thumbnail into the staging folder, synced; returns the file. Throws StoreError.
    std::string StageThumbnail(const std::string& jpeg);
    // Moves a staged thumbnail beside its picture (replacing an older one).
    void PlaceThumbnail(const std::string& stagedFile, const std::string& key);
    struct Recovery {
        int stagedRemoved = 0;                 // uploads that never finished
        std::vector<std::string> quarantined;  // files no record names, moved to DATA/quarantine
    };
    // After a crash or a restore: empties the staging folder and moves every
    // file of the pictures folder that no record names (a picture or a
    // thumbnail) into the quarantine folder. Nothing that may be a picture is
    // ever deleted.
    Recovery CleanUp(const std::set<std::string>& recordedKeys);
    bool HasPictures() const;
    std::string PicturesFolder() const { return pictures_; }

private:
    std::string Stage(std::string_view bytes, const std::string& what);  // throws StoreError

    std::string dataDir_, pictures_, staging_;
};

}  // namespace snapora::server
