#pragma once
// Opens that a new open replaced while they were still running: asked to stop from inside one of
// their own handlers, they end once the handler has returned. Kept here until then, so the
// threads they own are joined by whoever lets go of them last, never by themselves.

#include <memory>
#include <mutex>
#include <vector>

class MediaState;

class RetiredOpens {
public:
    void Add(std::shared_ptr<MediaState> open);
    bool AllFinished() const;
    // Lets go of the opens that have finished; the caller destroys them outside any lock.
    std::vector<std::shared_ptr<MediaState>> TakeFinished();

private:
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<MediaState>> opens_;
};
