#pragma once
// The picture files: DATA/pictures/KEY.jpg with its thumbnail KEY.thumb.jpg
// beside it, and DATA/staging/ for uploads that are still arriving. A picture enters the pictures folder only whole:
// synced, renamed into place, and the folder synced.

#include <memory>
#include <set>
#include <string>

#include "store/PictureReader.h"

namespace snapora::server {

class PictureFolder {
public:
    explicit PictureFolder(std::string dataDir);  // creates the folders; throws StoreError

    std::string StagingFolder() const { return staging_; }
    std::string PathOf(const std::string& key) const;
    // The picture's file, open for reading; nullptr when there is none.
    std::unique_ptr<PictureReader> Open(const std::string& key) const;
    // Moves a staged file into the pictures folder durably; the staged file is
    // removed on failure too. Throws StoreError.
    void Commit(const std::string& stagedFile, const std::string& key);
    // The picture and its thumbnail.
    void Remove(const std::string& key);

    std::string ThumbnailPathOf(const std::string& key) const;
    // Writes a thumbnail into the staging folder, synced; returns the file. Throws StoreError.
    std::string StageThumbnail(const std::string& jpeg);
    // Moves a staged thumbnail beside its picture (replacing an older one).
    void PlaceThumbnail(const std::string& stagedFile, const std::string& key);
    // After a crash: empties the staging folder and removes every picture and
    // thumbnail that no record names (renamed but never recorded). Returns how many went.
    int CleanUp(const std::set<std::string>& recordedKeys);

private:
    std::string pictures_, staging_;
};

}  // namespace snapora::server
