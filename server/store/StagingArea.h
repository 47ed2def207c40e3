#pragma once
// Where one server process writes uploads while they arrive, when several
// may share a data folder: DATA/staging/RUN-XXXXXX, locked for as long as the
// process lives. Folders whose owner has ended (killed, crashed) are removed
// by the next process that starts.

#include <string>

namespace snapora::server {

class StagingArea {
public:
    explicit StagingArea(const std::string& dataDir);  // throws StoreError
    ~StagingArea();                                   // removes the folder
    StagingArea(const StagingArea&) = delete;
    StagingArea& operator=(const StagingArea&) = delete;

    const std::string& Folder() const { return folder_; }
    int RemovedAtStart() const { return removedAtStart_; }  // uploads left by ended processes

private:
    std::string folder_;
    int lock_ = -1;
    int removedAtStart_ = 0;
};

}  // namespace snapora::server
